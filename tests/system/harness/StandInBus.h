#pragma once

namespace mavu::testing {

inline constexpr char kHelperBusName[] = "group.com.norvel.mavu.helper";
inline constexpr char kPolkitName[] = "org.freedesktop.PolicyKit1";
inline constexpr char kPolkitPath[] = "/org/freedesktop/PolicyKit1/Authority";
inline constexpr char kLogindName[] = "org.freedesktop.login1";

// Lets the stand-ins take polkit's and logind's names and everyone call them, as on a
// real system bus.
inline constexpr char kStandInPolicy[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <policy user="root">
    <allow own="org.freedesktop.PolicyKit1"/>
    <allow own="org.freedesktop.login1"/>
  </policy>
  <policy context="default">
    <allow send_destination="org.freedesktop.PolicyKit1"/>
    <allow send_destination="org.freedesktop.login1"/>
  </policy>
</busconfig>
)";

}  // namespace mavu::testing
