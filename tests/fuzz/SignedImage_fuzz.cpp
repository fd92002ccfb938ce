// The trailer of a signed program: where its signature starts and how long it is.
#include <string>

#include "platform/codesign/SignedImage.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(SignedImage) {
    using namespace mavu::codesign;
    const auto image = splitSignedImage(input);
    if (image) {
        // Splitting loses nothing: the parts join to the very bytes.
        MAVU_FUZZ_CHECK(hasSignatureTrailer(input));
        MAVU_FUZZ_CHECK(!image->signature.empty());
        MAVU_FUZZ_CHECK(joinSignedImage(image->content, image->signature) == input);
    } else {
        MAVU_FUZZ_CHECK(!image.error().empty());
    }
    // The trailer alone, as a caller's program is read first, tells the same layout.
    const auto layout = parseSignatureTrailer(
        input.substr(input.size() - std::min(input.size(), kTrailerSize)), input.size());
    MAVU_FUZZ_CHECK(static_cast<bool>(layout) == static_cast<bool>(image));
    if (layout) {
        MAVU_FUZZ_CHECK(layout->contentSize == image->content.size() &&
                        layout->signatureSize == image->signature.size());
    }
}
