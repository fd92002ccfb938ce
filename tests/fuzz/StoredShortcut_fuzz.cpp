// The two stored integers of the global shortcut, as any earlier version, another program
// or a hand-edited settings file may have left them. The input is a presence byte and two
// 64-bit integers.
#include <cstring>

#include "app/shortcut/StoredShortcut.h"
#include "helper/Utf8.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

std::uint64_t take64(std::string_view& input) {
    char bytes[8] = {};
    std::memcpy(bytes, input.data(), std::min<std::size_t>(8, input.size()));
    input.remove_prefix(std::min<std::size_t>(8, input.size()));
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, 8);
    return value;
}

}  // namespace

MAVU_FUZZ_TARGET(StoredShortcut) {
    using namespace mavu::shortcut;
    const unsigned char present = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    input.remove_prefix(input.empty() ? 0 : 1);
    const auto rawKey = take64(input);
    const auto rawModifiers = take64(input);
    std::optional<std::int64_t> keyCode;
    std::optional<std::int64_t> modifiers;
    if (present & 1) {
        keyCode = static_cast<std::int64_t>(rawKey);
    }
    if (present & 2) {
        modifiers = static_cast<std::int64_t>(rawModifiers);
    }

    // A stored shortcut is taken as it is, or not at all.
    const KeyCombo combo = loadStoredShortcut(keyCode, modifiers);
    const bool taken = keyCode && modifiers && combo.keyCode == *keyCode &&
                       combo.modifiers == static_cast<std::uint64_t>(*modifiers);
    MAVU_FUZZ_CHECK(taken || combo == defaultCombo);

    // What is stored reads back as the same shortcut, and so does its keyed record.
    const StoredShortcut stored = toStored(combo);
    MAVU_FUZZ_CHECK(loadStoredShortcut(stored.keyCode, stored.modifiers) == combo);
    MAVU_FUZZ_CHECK(decodeKeyCombo(encode(combo)) == combo);
    const std::string shown = combo.displayString();
    MAVU_FUZZ_CHECK(!shown.empty() && mavu::helper::isValidUtf8(shown));

    // Any shortcut at all: one whose modifiers fit the stored integer survives storing.
    const KeyCombo any{static_cast<std::uint32_t>(rawKey), rawModifiers};
    const StoredShortcut anyStored = toStored(any);
    const KeyCombo back = loadStoredShortcut(anyStored.keyCode, anyStored.modifiers);
    MAVU_FUZZ_CHECK(back == (any.modifiers >> 63 ? defaultCombo : any));
    MAVU_FUZZ_CHECK(decodeKeyCombo(encode(any)) == any);
}
