#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/updater/FeedFetcherByScheme.h"
#include "platform/updater/FileFeedFetcher.h"
#include "platform/updater/NetworkFeedFetcher.h"
#include "platform/updater/QtUpdaterSettings.h"
#include "platform/updater/StandardUpdaterController.h"
#include "tests/support/LogCapture.h"
#include "tests/support/VirtualDispatch.h"

namespace mavu::updater {
namespace {

using Events = std::vector<std::string>;

// The doubles write what the user saw and what the delegate heard into one list.
struct RecordingUserDriver final : UserDriver {
    explicit RecordingUserDriver(Events& e) : events(e) {}
    void showUpToDate(const std::string& current) override { add("up to date " + current); }
    void showUpdateFound(const UpdateItem& item, const std::string& current,
                         std::function<void(UpdateChoice)> answer) override {
        add("offer " + item.versionString + " to " + current);
        reply = std::move(answer);
    }
    void showUpdaterError(const std::string& sentence) override { add("error " + sentence); }
    void showDownloadPage(const std::string& url) override { add("open " + url); }
    void add(std::string event) { events.push_back(std::move(event)); }
    Events& events;
    std::function<void(UpdateChoice)> reply;
};

struct RecordingDelegate final : UpdaterDelegate {
    explicit RecordingDelegate(Events& e) : events(e) {}
    void willInstallUpdate(const UpdateItem& item) override {
        events.push_back("willInstallUpdate " + item.versionString);
    }
    bool shouldPostponeRelaunch(const UpdateItem&, std::function<void()>) override { return false; }
    Events& events;
};

constexpr double kDay = 86400.0;

std::string appcastWithBuild(const std::string& build) {
    return R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
      <item><sparkle:version>12</sparkle:version><link>https://example.org/12</link></item>
      <item><sparkle:version>)" +
           build + "</sparkle:version><link>https://example.org/new</link></item></channel></rss>";
}

// Settings go to a folder of the test's own.
class UpdaterTest : public ::testing::Test {
  protected:
    UpdaterTest() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    }
    std::string writeFeed(const std::string& contents, const QString& name = "appcast.xml") {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents.data(), static_cast<qint64>(contents.size()));
        return QUrl::fromLocalFile(file.fileName()).toString().toStdString();
    }

    // The running app is version 1.3, build 13.
    std::unique_ptr<UpdaterController> make(const std::string& feedUrl, bool starting = false) {
        auto recording = std::make_unique<RecordingUserDriver>(events);
        driver = recording.get();
        auto fetcher = std::make_unique<FeedFetcherByScheme>(
            std::make_unique<FileFeedFetcher>(),
            std::make_unique<NetworkFeedFetcher>(dispatch.mainQueue()));
        return std::make_unique<StandardUpdaterController>(
            starting, delegate, FeedUpdaterOptions{feedUrl, "13", "1.3"}, dispatch.mainQueue(),
            UpdaterParts{std::move(fetcher), std::move(recording),
                         std::make_unique<QtUpdaterSettings>()});
    }
    const Events& check(UpdaterController& controller) {
        controller.checkForUpdates();
        dispatch.runUntilIdle();
        return events;
    }

    QTemporaryDir folder;
    testing::VirtualDispatch dispatch;
    Events events;
    RecordingUserDriver* driver = nullptr;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>(events);
};

TEST_F(UpdaterTest, SaysUpToDateUnlessTheFeedListsANewerBuildThenOffersItUntilAnswered) {
    auto controller = make(writeFeed(appcastWithBuild("13")));
    controller->checkForUpdates();  // one check at a time: the next one is dropped
    EXPECT_EQ(check(*controller), Events{"up to date 1.3"});
    events.clear();
    writeFeed(appcastWithBuild("14"));
    check(*controller);
    EXPECT_FALSE(controller->updater().canCheckForUpdates());  // until the user answers
    driver->reply(UpdateChoice::later);
    EXPECT_TRUE(controller->updater().canCheckForUpdates());
    check(*controller);
    driver->reply(UpdateChoice::download);
    driver->reply(UpdateChoice::download);
    delegate.reset();  // without a delegate the download page still opens
    check(*controller);
    driver->reply(UpdateChoice::download);
    EXPECT_EQ(events, (Events{"offer 14 to 1.3", "offer 14 to 1.3", "willInstallUpdate 14",
                              "open https://example.org/new", "offer 14 to 1.3",
                              "open https://example.org/new"}));

    // No answer after the updater is gone.
    controller->checkForUpdates();
    controller.reset();
    dispatch.runUntilIdle();
    EXPECT_EQ(events.size(), 6u);
}

TEST_F(UpdaterTest, EveryFailureBecomesOneSentenceForTheUser) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "No update feed is configured."},
        {"http://example.org/appcast.xml",
         "The update feed address must start with https:// or file://."},
        {"https://", "The update feed address is not a valid https address."},
        {QUrl::fromLocalFile(folder.filePath("missing.xml")).toString().toStdString(),
         "The update feed could not be read: No such file or directory."},
        {writeFeed("<rss><channel><item>", "broken.xml"),
         "The update feed is not a valid appcast: "},
        {writeFeed(std::string(kMaxFeedBytes + 1, ' '), "large.xml"),
         "The update feed is too large."},
        {writeFeed("<rss><channel><item><link>https://example.org</link></item></channel></rss>",
                   "unversioned.xml"),
         "The update feed lists no release that can be offered."},
    };
    for (const auto& [url, sentence] : cases) {
        events.clear();
        testing::LogCapture log;
        auto controller = make(url);
        ASSERT_EQ(check(*controller).size(), 1u) << url;
        EXPECT_EQ(events[0].rfind("error " + sentence, 0), 0u) << events[0];
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(controller->updater().canCheckForUpdates());
    }
}

TEST_F(UpdaterTest, ChecksAMinuteAfterStartThenDailyWhileEnabledShowingOnlyOffers) {
    testing::LogCapture log;
    auto idle = make(writeFeed(appcastWithBuild("14")));
    dispatch.advance(kDay);  // not started
    EXPECT_TRUE(events.empty());
    idle.reset();

    auto controller = make(writeFeed(appcastWithBuild("14")), true);
    dispatch.advance(59.0);
    EXPECT_TRUE(events.empty());
    dispatch.advance(1.0);
    ASSERT_EQ(events, Events{"offer 14 to 1.3"});
    // While the offer waits, the next day's check is skipped, not queued.
    dispatch.advance(kDay);
    driver->reply(UpdateChoice::later);
    dispatch.advance(kDay);
    EXPECT_EQ(events.size(), 2u);
    driver->reply(UpdateChoice::later);

    controller->updater().setAutomaticallyChecksForUpdates(false);
    dispatch.advance(10 * kDay);
    EXPECT_EQ(events.size(), 2u);
    controller->updater().setAutomaticallyChecksForUpdates(true);
    dispatch.advance(60.0);
    EXPECT_EQ(events.size(), 3u);
    driver->reply(UpdateChoice::later);

    // Nobody asked: being up to date or failing shows nothing; the failure is logged.
    writeFeed(appcastWithBuild("13"));
    dispatch.advance(kDay);
    writeFeed("not xml");
    dispatch.advance(kDay);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(log.lines().size(), 2u);  // the skipped check, the failure
}

TEST_F(UpdaterTest, TheSettingOutlivesTheUpdaterInItsOwnGroup) {
    make("")->updater().setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(make("")->updater().automaticallyChecksForUpdates());
    const QSettings file(folder.filePath("norvel/MAVU.conf"), QSettings::IniFormat);
    EXPECT_EQ(file.childGroups(), QStringList{"Updater"});
}

}  // namespace
}  // namespace mavu::updater
