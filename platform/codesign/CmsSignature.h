#pragma once

#include <string>
#include <string_view>

#include "platform/codesign/OpenSsl.h"
#include "platform/codesign/Result.h"

// Reading the pieces of a signature, shared by signing, checking and showing.
namespace mavu::codesign::cms {

// A detached SignedData with exactly one signer, decoded from DER that holds nothing
// else.
Result<ssl::Cms> decode(std::string_view der);

CMS_SignerInfo* onlySigner(CMS_ContentInfo* cms);

// The identifier carried as the signer's signed attribute.
Result<std::string> signedIdentifier(CMS_SignerInfo* signer);

// Refuses a certificate that may not sign code: it must name code signing among its
// extended key usages and, when it limits its key usage, allow digital signatures.
Result<Passed> checkCodeSigningLeaf(X509* leaf);

ssl::Object identifierAttribute();

}  // namespace mavu::codesign::cms
