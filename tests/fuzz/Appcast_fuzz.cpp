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
    for (const UpdateItem& item : appcast.items) {
        const bool offerable = !item.versionString.empty() && !item.downloadPage.empty();
        MAVU_FUZZ_CHECK(!offerable || newest);
        if (offerable) {
            MAVU_FUZZ_CHECK(compareVersions(item.versionString, newest->versionString) <= 0);
        }
    }
    if (newest) {
        MAVU_FUZZ_CHECK(!newest->versionString.empty() && !newest->downloadPage.empty());
    }
}
