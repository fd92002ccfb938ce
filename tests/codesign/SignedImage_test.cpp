#include "platform/codesign/SignedImage.h"

#include <gtest/gtest.h>

namespace mavu::codesign {
namespace {

std::string trailer(std::uint32_t length, std::uint32_t version,
                    std::string_view magic = kTrailerMagic) {
    std::string out;
    for (std::uint32_t value : {length, version}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>((value >> shift) & 0xff));
        }
    }
    return out.append(magic);
}

// That a signed file splits into parts that join back to it is the fuzz replay's
// (tests/fuzz/corpus/SignedImage); here the layout signed programs carry, and damage.
TEST(SignedImageTest, JoinsInTheSignedLayoutAndRefusesDamagedTrailers) {
    EXPECT_EQ(joinSignedImage("program", "sig"), "programsig" + trailer(3, kTrailerVersion));
    EXPECT_TRUE(hasSignatureTrailer(std::string(kTrailerMagic)));
    EXPECT_FALSE(hasSignatureTrailer("program"));

    const std::string damaged[] = {
        "program bytes without any trailer at all, long enough",
        "",
        std::string(kTrailerMagic),
        joinSignedImage("", "sig").substr(1),                         // cut into the signature
        "programsig" + trailer(3, 1, "~MAVU signature appended~\r"),  // another magic
        "programsig" + trailer(11, 1),                                // longer than the file
        "programsig" + trailer(0xffffffff, 1),
        "programsig" + trailer(0, 1),
        "programsig" + trailer(3, 2),  // unknown versions
        "programsig" + trailer(3, 0),
    };
    for (const auto& file : damaged) {
        auto image = splitSignedImage(file);
        EXPECT_FALSE(image) << file;
        EXPECT_FALSE(image.error().empty()) << file;
    }
}

}  // namespace
}  // namespace mavu::codesign
