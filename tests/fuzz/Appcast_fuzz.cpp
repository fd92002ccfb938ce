// The update feed, as any server (or anyone between it and us) may send it.
#include <string>

#include "platform/updater/Appcast.h"
#include "platform/updater/VersionComparison.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(Appcast) {
    using namespace mavu::updater;
    const Appcast appcast = parseAppcast(input);
    if (!appcast.ok()) {
        MAVU_FUZZ_CHECK(appcast.items.empty());
        return;
    }
    // The desktop is only ever asked to open a web page.
    for (const UpdateItem& item : appcast.items) {
        MAVU_FUZZ_CHECK(item.downloadPage.empty() || item.downloadPage.starts_with("https://") ||
                        item.downloadPage.starts_with("http://"));
    }
    const auto newest = newestOfferableItem(appcast.items);
    std::size_t checked = 0;
    for (const UpdateItem& item : appcast.items) {
        const bool offerable = !item.versionString.empty() && !item.downloadPage.empty();
        MAVU_FUZZ_CHECK(!offerable || newest);
        if (offerable) {
            MAVU_FUZZ_CHECK(compareVersions(item.versionString, newest->versionString) <= 0);
        }
        // Versions from the feed are ordered consistently both ways round.
        if (newest && ++checked <= 8) {
            const auto forward = compareVersions(item.versionString, newest->versionString);
            const auto backward = compareVersions(newest->versionString, item.versionString);
            MAVU_FUZZ_CHECK((forward < 0) == (backward > 0) && (forward == 0) == (backward == 0));
            MAVU_FUZZ_CHECK(compareVersions(item.versionString, item.versionString) == 0);
        }
    }
    if (newest) {
        MAVU_FUZZ_CHECK(!newest->versionString.empty() && !newest->downloadPage.empty());
    }
}
