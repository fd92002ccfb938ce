#include "platform/codesign/SignedImage.h"

namespace mavu::codesign {

namespace {

std::uint32_t readBigEndian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

}  // namespace

bool hasSignatureTrailer(std::string_view file) {
    return file.ends_with(kTrailerMagic);
}

Result<SignatureLayout> parseSignatureTrailer(std::string_view trailer, std::uint64_t fileSize) {
    using R = Result<SignatureLayout>;
    if (fileSize < kTrailerSize || trailer.size() < kTrailerSize) {
        return R::failure(hasSignatureTrailer(trailer) ? "The signature trailer is truncated."
                                                       : "The program is not signed.");
    }
    trailer = trailer.substr(trailer.size() - kTrailerSize);
    if (!hasSignatureTrailer(trailer)) {
        return R::failure("The program is not signed.");
    }
    std::uint32_t length = readBigEndian(trailer.substr(0, 4));
    std::uint32_t version = readBigEndian(trailer.substr(4, 4));
    if (version != kTrailerVersion) {
        return R::failure("The signature has format version " + std::to_string(version) +
                          ", which this build does not read.");
    }
    std::uint64_t before = fileSize - kTrailerSize;
    if (length == 0 || length > before) {
        return R::failure("The signature length in the trailer does not fit the file.");
    }
    return SignatureLayout{before - length, length};
}

Result<SignedImage> splitSignedImage(std::string_view file) {
    auto layout = parseSignatureTrailer(file, file.size());
    if (!layout) {
        return layout.forward<SignedImage>();
    }
    return SignedImage{file.substr(0, layout->contentSize),
                       file.substr(layout->contentSize, layout->signatureSize)};
}

std::string joinSignedImage(std::string_view content, std::string_view signature) {
    std::string out;
    out.reserve(content.size() + signature.size() + kTrailerSize);
    out.append(content);
    out.append(signature);
    appendBigEndian(out, static_cast<std::uint32_t>(signature.size()));
    appendBigEndian(out, kTrailerVersion);
    out.append(kTrailerMagic);
    return out;
}

}  // namespace mavu::codesign
