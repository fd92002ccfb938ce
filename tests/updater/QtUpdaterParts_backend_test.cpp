// The updater's Qt parts: its dialogs and its network fetcher.
#include <gtest/gtest.h>

#include <optional>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTcpServer>

#include "platform/updater/NetworkFeedFetcher.h"
#include "platform/updater/QtUserDriver.h"
#include "tests/support/QtTestApplication.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::updater {
namespace {

using namespace std::chrono_literals;

std::vector<QMessageBox*> openBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

// What the open box says; then it is closed with the button of that label (or none).
std::string answer(const QString& label = {}) {
    QMessageBox* box = openBoxes().at(0);
    const auto said = box->text() + "|" + box->informativeText() + "|" + box->detailedText();
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == label) {
            button->click();
        }
    }
    box->close();
    QApplication::processEvents();
    return said.toStdString();
}

TEST(QtUserDriver, ShowsEachSentenceAndReportsTheChoiceOnce) {
    auto driver = std::make_unique<QtUserDriver>();
    std::vector<UpdateChoice> choices;
    const auto offer = [&] {
        const UpdateItem item{"MAVU 1.4", "14", "1.4", "https://example.org", "<b>Lid</b> &amp;"};
        driver->showUpdateFound(item, "1.3", [&](UpdateChoice c) { choices.push_back(c); });
    };
    offer();
    EXPECT_EQ(answer("Download"),
              "A new version of MAVU is available|MAVU 1.4 is now available \u2014 you have 1.3. "
              "Would you like to download it now?|Lid &");
    offer();
    answer();
    driver->showUpToDate("1.3");
    EXPECT_EQ(answer(), "You're up to date|MAVU 1.3 is currently the newest version available.|");
    driver->showUpdaterError("The update feed is too large.");
    EXPECT_EQ(answer(), "Update Error|The update feed is too large.|");
    // Closing the driver closes its dialogs without answering for the user.
    offer();
    driver.reset();
    QApplication::processEvents();
    EXPECT_TRUE(openBoxes().empty());
    EXPECT_EQ(choices, (std::vector{UpdateChoice::download, UpdateChoice::later}));
}

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
