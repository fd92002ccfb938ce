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

TEST(SignedImageTest, SplitsWhatWasJoined) {
    std::string file = joinSignedImage("program", "sig");
    EXPECT_EQ(file, "programsig" + trailer(3, kTrailerVersion));
    auto image = splitSignedImage(file);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image->content, "program");
    EXPECT_EQ(image->signature, "sig");

    auto empty = splitSignedImage(joinSignedImage("", "sig"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->content, "");
}

TEST(SignedImageTest, DamagedTrailersAreRefused) {
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"unsigned", "program bytes without any trailer at all, long enough"},
        {"empty", ""},
        {"truncated", std::string(kTrailerMagic)},
        {"cut into the signature", joinSignedImage("", "sig").substr(1)},
        {"wrong magic", "programsig" + trailer(3, 1, "~MAVU signature appended~\r")},
        {"length larger than file", "programsig" + trailer(11, 1)},
        {"length of the whole file", "programsig" + trailer(0xffffffff, 1)},
        {"zero length", "programsig" + trailer(0, 1)},
        {"wrong version", "programsig" + trailer(3, 2)},
        {"version zero", "programsig" + trailer(3, 0)},
    };
    for (const Case& c : cases) {
        auto image = splitSignedImage(c.file);
        EXPECT_FALSE(image) << c.what;
        EXPECT_FALSE(image.error().empty()) << c.what;
    }
    EXPECT_TRUE(hasSignatureTrailer(std::string(kTrailerMagic)));
    EXPECT_FALSE(hasSignatureTrailer("program"));
}

}  // namespace
}  // namespace mavu::codesign
