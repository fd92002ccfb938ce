#include "platform/log/Log.h"

#include <cstdio>
#include <mutex>

namespace mavu::log {
namespace {
std::mutex mutex;
Sink current;
}  // namespace

void line(const std::string& text) {
    std::lock_guard lock(mutex);
    if (current) {
        current(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

Sink setSink(Sink sink) {
    std::lock_guard lock(mutex);
    Sink previous = std::move(current);
    current = std::move(sink);
    return previous;
}

}  // namespace mavu::log
