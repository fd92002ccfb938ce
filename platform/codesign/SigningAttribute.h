#pragma once

namespace mavu::codesign {

// The signed attribute that carries the signing identifier, a UTF8String. The arc
// 2.25.<UUID> (ITU-T X.667) is ours without registration; attributes of our own go
// below it.
inline constexpr char kIdentifierAttributeOid[] = "2.25.260135674770753787136077245731221622148.1";

}  // namespace mavu::codesign
