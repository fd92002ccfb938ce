#include "platform/codesign/OpenSsl.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <climits>

namespace mavu::codesign::ssl {

ErrorScope::ErrorScope() {
    ERR_clear_error();
}
ErrorScope::~ErrorScope() {
    ERR_clear_error();
}

std::string failure(std::string_view what) {
    std::string text(what);
    const char* separator = ": ";
    unsigned long code = 0;
    const char* data = nullptr;
    int flags = 0;
    while ((code = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags)) != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += separator;
        text += buffer;
        // The detail that names the cause (e.g. which certificate check failed).
        if ((flags & ERR_TXT_STRING) && data != nullptr && *data != '\0') {
            text += " (";
            text += data;
            text += ")";
        }
        separator = "; ";
    }
    return text;
}

Bio readOnlyBio(std::string_view bytes) {
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        return nullptr;
    }
    return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

BioChain contentBio(std::string_view bytes) {
    Bio memory = readOnlyBio(bytes);
    BioChain filter(BIO_new(BIO_f_null()));
    if (!memory || !filter) {
        return nullptr;
    }
    BIO_push(filter.get(), memory.release());
    return filter;
}

namespace {

Bio openForReading(const std::string& path) {
    return Bio(BIO_new_file(path.c_str(), "r"));
}

std::string nameLine(const X509_NAME* name) {
    Bio out(BIO_new(BIO_s_mem()));
    if (!out ||
        X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        return "?";
    }
    char* data = nullptr;
    long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

}  // namespace

namespace {

Result<std::vector<Cert>> readCertificates(BIO* in, const std::string& name) {
    std::vector<Cert> certs;
    while (Cert cert{PEM_read_bio_X509(in, nullptr, nullptr, nullptr)}) {
        certs.push_back(std::move(cert));
    }
    // The loop ends on the first block that is not a certificate; only running out of
    // input is the normal end.
    unsigned long last = ERR_peek_last_error();
    if (ERR_GET_LIB(last) == ERR_LIB_PEM && ERR_GET_REASON(last) == PEM_R_NO_START_LINE) {
        ERR_clear_error();
        if (certs.empty()) {
            return Result<std::vector<Cert>>::failure(name + " holds no certificate");
        }
        return certs;
    }
    return Result<std::vector<Cert>>::failure(failure("Cannot read the certificates in " + name));
}

}  // namespace

Result<std::vector<Cert>> loadCertificates(const std::string& pemPath) {
    Bio in = openForReading(pemPath);
    if (!in) {
        return Result<std::vector<Cert>>::failure(failure("Cannot open " + pemPath));
    }
    return readCertificates(in.get(), pemPath);
}

Result<std::vector<Cert>> certificatesFromPem(std::string_view pem, const std::string& name) {
    Bio in = readOnlyBio(pem);
    if (!in) {
        return Result<std::vector<Cert>>::failure(failure("Cannot read " + name));
    }
    return readCertificates(in.get(), name);
}

Result<Key> loadPrivateKey(const std::string& pemPath) {
    Bio in = openForReading(pemPath);
    if (!in) {
        return Result<Key>::failure(failure("Cannot open " + pemPath));
    }
    Key key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    if (!key) {
        return Result<Key>::failure(failure("Cannot read the private key in " + pemPath));
    }
    return key;
}

std::optional<std::string> singleSubjectEntry(const X509* cert, int nid) {
    const X509_NAME* name = X509_get_subject_name(cert);
    int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0 || X509_NAME_get_index_by_NID(name, nid, index) >= 0) {
        return std::nullopt;
    }
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    int length = ASN1_STRING_to_UTF8(&utf8, value);
    if (length < 0) {
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(utf8), static_cast<size_t>(length));
    OPENSSL_free(utf8);
    if (text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

std::string subjectLine(const X509* cert) {
    return nameLine(X509_get_subject_name(cert));
}
std::string issuerLine(const X509* cert) {
    return nameLine(X509_get_issuer_name(cert));
}

}  // namespace mavu::codesign::ssl
