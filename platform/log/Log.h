#pragma once

#include <functional>
#include <string>

namespace mavu::log {

// One diagnostic line to the system log. Under systemd standard error is the journal,
// so that is where lines go unless a sink is set.
void line(const std::string& text);

using Sink = std::function<void(const std::string&)>;
// Sends every later line to sink (an empty sink restores standard error) and returns the
// previous one. Thread-safe; tests capture lines with it.
Sink setSink(Sink sink);

}  // namespace mavu::log
