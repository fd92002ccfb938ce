#include "platform/codesign/CmsSignature.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include "platform/codesign/SigningAttribute.h"

namespace mavu::codesign::cms {

Result<ssl::Cms> decode(std::string_view der) {
    using R = Result<ssl::Cms>;
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    const auto* end = cursor + der.size();
    ssl::Cms cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
    if (!cms) {
        return R::failure(ssl::failure("The signature cannot be decoded"));
    }
    if (cursor != end) {
        return R::failure("The signature is followed by unexpected bytes.");
    }
    if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
        return R::failure("The signature is not CMS signed data.");
    }
    if (CMS_is_detached(cms.get()) != 1) {
        return R::failure("The signature is not detached from the program.");
    }
    // A second signer would leave it open whose certificate names the team.
    if (sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get())) != 1) {
        return R::failure("The signature must have exactly one signer.");
    }
    return cms;
}

CMS_SignerInfo* onlySigner(CMS_ContentInfo* cms) {
    return sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms), 0);
}

ssl::Object identifierAttribute() {
    return ssl::Object(OBJ_txt2obj(kIdentifierAttributeOid, 1));
}

Result<std::string> signedIdentifier(CMS_SignerInfo* signer) {
    using R = Result<std::string>;
    ssl::Object oid = identifierAttribute();
    if (!oid) {
        return R::failure(ssl::failure("The identifier attribute cannot be named"));
    }
    int index = CMS_signed_get_attr_by_OBJ(signer, oid.get(), -1);
    if (index < 0) {
        return R::failure("The signature carries no signing identifier.");
    }
    if (CMS_signed_get_attr_by_OBJ(signer, oid.get(), index) >= 0) {
        return R::failure("The signature carries more than one signing identifier.");
    }
    X509_ATTRIBUTE* attribute = CMS_signed_get_attr(signer, index);
    ASN1_TYPE* value =
        X509_ATTRIBUTE_count(attribute) == 1 ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
    if (value == nullptr || ASN1_TYPE_get(value) != V_ASN1_UTF8STRING) {
        return R::failure("The signing identifier is not a single text value.");
    }
    const ASN1_STRING* text = value->value.utf8string;
    std::string identifier(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                           static_cast<size_t>(ASN1_STRING_length(text)));
    if (identifier.empty() || identifier.find('\0') != std::string::npos) {
        return R::failure("The signing identifier is empty or malformed.");
    }
    return identifier;
}

Result<Passed> checkCodeSigningLeaf(X509* leaf) {
    std::uint32_t flags = X509_get_extension_flags(leaf);
    if (!(flags & EXFLAG_XKUSAGE) || !(X509_get_extended_key_usage(leaf) & XKU_CODE_SIGN)) {
        return Result<Passed>::failure("The signing certificate is not meant for code signing.");
    }
    if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(leaf) & KU_DIGITAL_SIGNATURE)) {
        return Result<Passed>::failure("The signing certificate may not make signatures.");
    }
    return Passed{};
}

}  // namespace mavu::codesign::cms
