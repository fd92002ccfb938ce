#include "platform/updater/NetworkFeedFetcher.h"

#include <gtest/gtest.h>

#include <optional>

#include <QTcpServer>

#include "tests/support/QtTestApplication.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::updater {
namespace {

class NetworkFeedFetcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        url = "https://127.0.0.1:" + std::to_string(server.serverPort()) + "/appcast.xml";
    }
    bool answered(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        return testing::processEventsUntil([&] { return answer.has_value(); }, bound);
    }

    QTcpServer server;
    std::string url;
    testing::VirtualDispatch dispatch;
    std::unique_ptr<NetworkFeedFetcher> fetcher =
        std::make_unique<NetworkFeedFetcher>(dispatch.mainQueue(), std::chrono::seconds(30));
    std::optional<FeedResponse> answer;
    FeedFetcher::Completion record = [this](FeedResponse response) { answer = response; };
};

TEST_F(NetworkFeedFetcherTest, ASilentServerIsCutOffAtTheDeadlineAClosedPortAtOnce) {
    fetcher->fetch(url, record);
    ASSERT_TRUE(testing::processEventsUntil([&] { return server.hasPendingConnections(); }));
    dispatch.advance(29.0);
    EXPECT_FALSE(answered(std::chrono::milliseconds(50)));
    dispatch.advance(1.0);
    ASSERT_TRUE(answered());
    EXPECT_EQ(answer->error, "The update server did not answer in time.");

    // A fetcher destroyed mid-request never completes.
    answer.reset();
    fetcher->fetch(url, record);
    fetcher.reset();
    dispatch.advance(60.0);
    EXPECT_FALSE(answered(std::chrono::milliseconds(100)));

    server.close();
    fetcher = std::make_unique<NetworkFeedFetcher>(dispatch.mainQueue(), std::chrono::seconds(30));
    fetcher->fetch(url, record);
    ASSERT_TRUE(answered());
    EXPECT_EQ(answer->error, "The update feed could not be loaded: Connection refused.");
}

}  // namespace
}  // namespace mavu::updater
