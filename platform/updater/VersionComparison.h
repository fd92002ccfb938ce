#pragma once

#include <compare>
#include <string_view>

namespace mavu::updater {

// Orders version strings as people read them: runs of digits compare as numbers of any
// length ("1.10" after "1.9"), missing trailing zeros do not count ("1.0" equals "1.0.0"),
// a letter part marks a pre-release ("1.0b2" after "1.0b1", before "1.0" and "1.0.1"),
// letters compare without regard to case, and other characters only separate parts.
std::weak_ordering compareVersions(std::string_view a, std::string_view b);

}  // namespace mavu::updater
