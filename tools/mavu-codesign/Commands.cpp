#include "tools/mavu-codesign/Commands.h"

#include <iostream>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/SignatureCheck.h"
#include "platform/codesign/SignatureDescription.h"
#include "platform/codesign/Signer.h"
#include "tools/mavu-codesign/FileIo.h"

namespace mavu::tools {

namespace {

using namespace codesign;

int refuse(const std::string& file, const std::string& why) {
    std::cerr << "mavu-codesign: " << file << ": " << why << "\n";
    return 1;
}

// Signature fields come from the file being looked at; keep them from driving the
// terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int signCommand(const std::string& file, const std::string& identifier,
                const std::string& certificate, const std::string& key, const std::string& chain) {
    auto bytes = readFile(file);
    if (!bytes) {
        return refuse(file, bytes.error());
    }
    auto signedBytes = signImage(bytes.value(), identifier, {certificate, key, chain});
    if (!signedBytes) {
        return refuse(file, signedBytes.error());
    }
    if (auto written = replaceFile(file, signedBytes.value()); !written) {
        return refuse(file, written.error());
    }
    return 0;
}

int verifyCommand(const std::string& file, const std::string& anchor,
                  const std::string& requirementText) {
    auto requirement =
        createRequirement(requirementText.empty() ? "anchor apple generic" : requirementText);
    if (!requirement) {
        return refuse(file, requirement.error());
    }
    auto anchors = AnchorStore::load(anchor);
    if (!anchors) {
        return refuse(file, anchors.error());
    }
    auto bytes = readFile(file);
    if (!bytes) {
        return refuse(file, bytes.error());
    }
    auto identity = verifySignedImage(bytes.value(), anchors.value());
    if (!identity) {
        return refuse(file, identity.error());
    }
    std::cout << "identifier: " << printable(identity->identifier) << "\n"
              << "team: " << printable(identity->team) << "\n";
    if (!requirement.value().isMetBy(identity.value())) {
        return refuse(file, "The signature does not meet the requirement.");
    }
    return 0;
}

int showCommand(const std::string& file) {
    auto bytes = readFile(file);
    if (!bytes) {
        return refuse(file, bytes.error());
    }
    auto description = describeSignedImage(bytes.value());
    if (!description) {
        return refuse(file, description.error());
    }
    std::cout << "identifier: " << printable(description->identifier) << "\n"
              << "team: " << printable(description->team.value_or("(none)")) << "\n"
              << "signer: " << printable(description->signer) << "\n"
              << "issuer: " << printable(description->issuer) << "\n"
              << "signed bytes: " << description->signedBytes << "\n"
              << "signature bytes: " << description->signatureBytes << "\n";
    return 0;
}

}  // namespace mavu::tools
