#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/codesign/Result.h"

namespace mavu::codesign {

// A signed program is its original bytes followed by a detached DER CMS signature over
// them and a fixed trailer, the way Linux kernel modules are signed. The loader never
// looks past the ELF segments, so the program runs unchanged:
//
//   original bytes | signature (DER) | length (u32, big-endian) | version (u32, big-endian)
//   | magic "~MAVU signature appended~\n"
inline constexpr std::string_view kTrailerMagic = "~MAVU signature appended~\n";
inline constexpr std::uint32_t kTrailerVersion = 1;
inline constexpr std::size_t kTrailerSize = 4 + 4 + kTrailerMagic.size();

struct SignedImage {
    std::string_view content;    // the bytes the signature covers
    std::string_view signature;  // DER CMS SignedData
};

// Where the parts of a signed file lie, read from its trailer alone.
struct SignatureLayout {
    std::uint64_t contentSize = 0;
    std::uint32_t signatureSize = 0;
};

// Reads the last kTrailerSize bytes of a file of fileSize bytes (all of it when shorter),
// so a file can be refused before any more of it is read.
Result<SignatureLayout> parseSignatureTrailer(std::string_view trailer, std::uint64_t fileSize);

// True when the bytes end in the trailer magic, valid or not.
bool hasSignatureTrailer(std::string_view file);

// Splits a signed file. Views point into file.
Result<SignedImage> splitSignedImage(std::string_view file);

// The bytes of content signed with signature.
std::string joinSignedImage(std::string_view content, std::string_view signature);

}  // namespace mavu::codesign
