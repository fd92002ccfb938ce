// The stored shortcut: the two integers in the app's settings file, as an earlier version,
// another program or a hand edit may have left the file.
#include "app/shortcut/StoredShortcut.h"
#include "helper/Utf8.h"
#include "platform/settings/QtSettingsStore.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(StoredShortcut) {
    using namespace mavu::shortcut;
    const auto file = mavu::fuzz::scratchDir() / "MAVU.conf";
    mavu::fuzz::writeBytes(file, input);
    mavu::settings::QtSettingsStore store(file);
    const auto keyCode = store.integer(shortcutKeyCodeKey);
    const auto modifiers = store.integer(shortcutModifiersKey);

    // A stored shortcut is taken as it is, or not at all.
    const KeyCombo combo = loadStoredShortcut(keyCode, modifiers);
    const bool taken = keyCode && modifiers && combo.keyCode == *keyCode &&
                       combo.modifiers == static_cast<std::uint64_t>(*modifiers);
    MAVU_FUZZ_CHECK(taken || combo == defaultCombo);
    const std::string shown = combo.displayString();
    MAVU_FUZZ_CHECK(!shown.empty() && mavu::helper::isValidUtf8(shown));

    // Stored into the same file (whatever else it holds) it reads back as the same shortcut.
    const StoredShortcut stored = toStored(combo);
    store.setInteger(shortcutKeyCodeKey, stored.keyCode);
    store.setInteger(shortcutModifiersKey, stored.modifiers);
    MAVU_FUZZ_CHECK(store.integer(shortcutKeyCodeKey) == stored.keyCode &&
                    store.integer(shortcutModifiersKey) == stored.modifiers);
    MAVU_FUZZ_CHECK(loadStoredShortcut(store.integer(shortcutKeyCodeKey),
                                       store.integer(shortcutModifiersKey)) == combo);
}
