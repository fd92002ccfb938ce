#include "app/shortcut/KeyCombo.h"

#include <limits>

#include "platform/hotkey/HotKeyPort.h"

namespace mavu::shortcut {
namespace {

constexpr const char* keyCodeKey = "keyCode";
constexpr const char* modifiersKey = "modifiers";

}  // namespace

std::string KeyCombo::displayString() const {
    std::string text;
    if (modifiers & modifier::control) {
        text += "⌃";
    }
    if (modifiers & modifier::option) {
        text += "⌥";
    }
    if (modifiers & modifier::shift) {
        text += "⇧";
    }
    if (modifiers & modifier::command) {
        text += "⌘";
    }
    return text + keyName(keyCode);
}

std::uint32_t KeyCombo::hotKeyModifierMask() const {
    std::uint32_t mask = 0;
    if (modifiers & modifier::command) {
        mask |= hotkey::modifierMask::command;
    }
    if (modifiers & modifier::shift) {
        mask |= hotkey::modifierMask::shift;
    }
    if (modifiers & modifier::option) {
        mask |= hotkey::modifierMask::option;
    }
    if (modifiers & modifier::control) {
        mask |= hotkey::modifierMask::control;
    }
    return mask;
}

KeyComboRecord encode(const KeyCombo& combo) {
    return {{keyCodeKey, combo.keyCode}, {modifiersKey, combo.modifiers}};
}

std::optional<KeyCombo> decodeKeyCombo(const KeyComboRecord& record) {
    const auto keyCode = record.find(keyCodeKey);
    const auto modifiers = record.find(modifiersKey);
    if (keyCode == record.end() || modifiers == record.end() ||
        keyCode->second > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return KeyCombo{static_cast<std::uint32_t>(keyCode->second), modifiers->second};
}

}  // namespace mavu::shortcut
