#pragma once

#include <cstdint>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/Result.h"
#include "platform/codesign/SigningIdentity.h"

namespace mavu::codesign {

// Programs larger than this are refused without being read: ours are a few megabytes.
inline constexpr std::uint64_t kMaxExecutableSize = 64ull * 1024 * 1024;

// Checks the program file open for reading on fd: a regular file of at most
// kMaxExecutableSize bytes whose trailer (read first, on its own) announces a signature,
// which must verify under anchors and meet requirement. Answers who signed it.
Result<SigningIdentity> checkExecutable(int fd, const Requirement& requirement,
                                        const AnchorStore& anchors);

}  // namespace mavu::codesign
