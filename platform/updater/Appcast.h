#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/updater/Updater.h"

namespace mavu::updater {

// The items of an appcast (an RSS feed with the updater's namespace), in feed order, or a
// sentence saying why the feed could not be read. Items keep what they had: one without
// a build number or without a usable download page is there, but cannot be offered.
struct Appcast {
    std::vector<UpdateItem> items;
    std::string error;

    bool ok() const { return error.empty(); }
};

// Reads <item>s of the <channel>: <title>, <link>, <description>, the build from
// <sparkle:version> (or the enclosure's sparkle:version attribute), the readable version
// from <sparkle:shortVersionString> (or the enclosure's attribute). The download page is
// the item's <link>, else the enclosure's url; only http and https pages are kept, so a
// feed cannot make the desktop open a local file or run a URL handler.
Appcast parseAppcast(std::string_view xml);

// The item with the highest build among those that can be offered (a build number and a
// download page); the first of equals.
std::optional<UpdateItem> newestOfferableItem(const std::vector<UpdateItem>& items);

}  // namespace mavu::updater
