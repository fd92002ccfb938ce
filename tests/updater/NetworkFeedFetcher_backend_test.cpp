#include "platform/updater/NetworkFeedFetcher.h"

#include <gtest/gtest.h>

#include <optional>

#include <QTcpServer>

#include "tests/support/QtTestApplication.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::updater {
namespace {

using namespace std::chrono_literals;

TEST(NetworkFeedFetcher, ASilentServerIsCutOffAtTheDeadlineAndADestroyedFetcherNeverAnswers) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const auto url = "https://127.0.0.1:" + std::to_string(server.serverPort()) + "/appcast.xml";
    testing::VirtualDispatch dispatch;
    auto fetcher = std::make_unique<NetworkFeedFetcher>(dispatch.mainQueue(), 30s);
    std::optional<FeedResponse> answer;
    const auto answered = [&](std::chrono::milliseconds bound) {
        return testing::processEventsUntil([&] { return answer.has_value(); }, bound);
    };
    fetcher->fetch(url, [&](FeedResponse response) { answer = response; });
    ASSERT_TRUE(testing::processEventsUntil([&] { return server.hasPendingConnections(); }));
    dispatch.advance(29.0);
    EXPECT_FALSE(answered(50ms));
    dispatch.advance(1.0);
    ASSERT_TRUE(answered(10s));
    EXPECT_EQ(answer->error, "The update server did not answer in time.");

    answer.reset();
    fetcher->fetch(url, [&](FeedResponse response) { answer = response; });
    fetcher.reset();
    dispatch.advance(60.0);
    EXPECT_FALSE(answered(100ms));
}

}  // namespace
}  // namespace mavu::updater
