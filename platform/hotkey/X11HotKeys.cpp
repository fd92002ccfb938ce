#include "platform/hotkey/X11HotKeys.h"

#include <xcb/xcb.h>
// xcb/xkb.h names a structure field after a C++ keyword.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/dispatch/Weak.h"
#include "platform/hotkey/X11Keys.h"
#include "platform/log/Log.h"

namespace mavu::hotkey {
namespace {

constexpr std::uint8_t badAccess = 10;
constexpr xcb_keysym_t numLockKeysym = 0xff7f;
// Shift, Lock, Control, Mod1..Mod5: the keyboard part of an event's state.
constexpr std::uint16_t keyboardModifiers = 0xff;

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

struct Grab {
    HotKeyRef ref;
    xcb_keycode_t keycode;
    std::uint16_t modifiers;
    // Lock modifiers the grab was made to ignore; a press matches whatever their state.
    std::uint16_t ignored;
    std::vector<std::uint16_t> variants;
    HotKeyID id;
};

}  // namespace

struct X11HotKeys::State : std::enable_shared_from_this<State> {
    State(dispatch::MainQueue& main, std::optional<std::string> display)
        : mainQueue(main), displayName(std::move(display)) {}
    ~State() { disconnect(); }

    bool connect();
    void disconnect();
    void enableDetectableAutoRepeat();
    std::uint16_t numLockModifier();
    void ungrab(const Grab& grab);
    void readEvents();
    void keyPressed(xcb_keycode_t keycode, std::uint16_t state);

    dispatch::MainQueue& mainQueue;
    const std::optional<std::string> displayName;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    std::unique_ptr<dispatch::ReadableWatch> watch;
    bool broken = false;
    std::vector<Grab> grabs;
    HotKeyRef nextRef = 1;
    std::vector<PressHandler> handlers;
    // The hot key being held down, so that its auto-repeat does not fire it again.
    std::optional<xcb_keycode_t> held;
};

bool X11HotKeys::State::connect() {
    if (connection != nullptr && !broken && xcb_connection_has_error(connection) == 0) {
        return true;
    }
    disconnect();
    int screenNumber = 0;
    xcb_connection_t* opened =
        xcb_connect(displayName ? displayName->c_str() : nullptr, &screenNumber);
    if (xcb_connection_has_error(opened) != 0) {
        xcb_disconnect(opened);
        log::line("Global shortcut unavailable: no X display could be opened");
        return false;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(opened));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
        xcb_screen_next(&screens);
    }
    connection = opened;
    root = screens.data->root;
    broken = false;
    enableDetectableAutoRepeat();
    watch = mainQueue.watchReadable(xcb_get_file_descriptor(connection), [this] { readEvents(); });
    return true;
}

void X11HotKeys::State::disconnect() {
    watch.reset();
    if (connection != nullptr) {
        // Closing the connection releases every grab made through it.
        xcb_disconnect(connection);
        connection = nullptr;
    }
    grabs.clear();
    held.reset();
}

void X11HotKeys::State::enableDetectableAutoRepeat() {
    // Without it, holding the combination would deliver a release and a press for every
    // auto-repeat and fire the hot key again and again.
    auto use = own(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    if (!use || use->supported == 0) {
        log::line("Global shortcut: the X server has no XKB; holding the shortcut repeats it");
        return;
    }
    constexpr std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    auto flags = own(xcb_xkb_per_client_flags_reply(
        connection,
        xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
        nullptr));
    if (!flags || (flags->value & flag) == 0) {
        log::line(
            "Global shortcut: detectable auto-repeat refused; holding the shortcut repeats it");
    }
}

std::uint16_t X11HotKeys::State::numLockModifier() {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const auto first = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - first + 1);
    auto keyboardCookie = xcb_get_keyboard_mapping(connection, first, count);
    auto modifierCookie = xcb_get_modifier_mapping(connection);
    auto keyboard = own(xcb_get_keyboard_mapping_reply(connection, keyboardCookie, nullptr));
    auto modifiers = own(xcb_get_modifier_mapping_reply(connection, modifierCookie, nullptr));
    if (!keyboard || !modifiers) {
        return XCB_MOD_MASK_2;  // where every common keymap puts it
    }
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    const int keysymCount = xcb_get_keyboard_mapping_keysyms_length(keyboard.get());
    const int perKeycode = keyboard->keysyms_per_keycode;
    const xcb_keycode_t* members = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int slot = 0; slot < perModifier; ++slot) {
            const xcb_keycode_t keycode = members[modifier * perModifier + slot];
            if (keycode < first) {
                continue;
            }
            for (int column = 0; column < perKeycode; ++column) {
                const int index = (keycode - first) * perKeycode + column;
                if (index < keysymCount && keysyms[index] == numLockKeysym) {
                    return static_cast<std::uint16_t>(1u << modifier);
                }
            }
        }
    }
    return 0;
}

void X11HotKeys::State::ungrab(const Grab& grab) {
    if (connection == nullptr) {
        return;
    }
    for (auto variant : grab.variants) {
        xcb_ungrab_key(connection, grab.keycode, root, grab.modifiers | variant);
    }
    xcb_flush(connection);
}

void X11HotKeys::State::readEvents() {
    if (broken) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const auto type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS) {
            const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
            keyPressed(press->detail, press->state);
        } else if (type == XCB_KEY_RELEASE) {
            const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
            if (held == release->detail) {
                held.reset();
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(connection) != 0) {
        // The fd stays readable at end of file; stop reading now and let go of the
        // connection outside this callback. The next registration connects again.
        broken = true;
        log::line("Global shortcut: the connection to the X server was lost");
        mainQueue.async(dispatch::weakly(weak_from_this(), [](State& state) {
            if (state.broken) {
                state.disconnect();
            }
        }));
    }
}

void X11HotKeys::State::keyPressed(xcb_keycode_t keycode, std::uint16_t state) {
    auto grab = std::find_if(grabs.begin(), grabs.end(), [&](const Grab& g) {
        return g.keycode == keycode &&
               (state & keyboardModifiers & ~g.ignored) == (g.modifiers & ~g.ignored);
    });
    if (grab == grabs.end() || held == keycode) {
        return;
    }
    held = keycode;
    const HotKeyPress press{grab->id};
    mainQueue.async(dispatch::weakly(weak_from_this(), [press](State& self) {
        auto handlers = self.handlers;  // a handler may install another
        for (auto& handler : handlers) {
            handler(press);
        }
    }));
}

X11HotKeys::X11HotKeys(dispatch::MainQueue& mainQueue, std::optional<std::string> displayName)
    : state_(std::make_shared<State>(mainQueue, std::move(displayName))) {}

X11HotKeys::~X11HotKeys() = default;

std::optional<HotKeyRef> X11HotKeys::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                    HotKeyID id) {
    State& state = *state_;
    const auto keycode = x11Keycode(keyCode);
    if (!keycode) {
        log::line("Global shortcut: no X key for key code " + std::to_string(keyCode));
        return std::nullopt;
    }
    if (!state.connect()) {
        return std::nullopt;
    }
    Grab grab{state.nextRef, *keycode, x11Modifiers(modifiers), 0, {}, id};
    const bool alreadyOurs = std::any_of(state.grabs.begin(), state.grabs.end(), [&](auto& g) {
        return g.keycode == grab.keycode && g.modifiers == grab.modifiers;
    });
    if (alreadyOurs) {
        // The server would silently let us grab it twice; one owner per combination.
        return std::nullopt;
    }
    const std::uint16_t numLock = state.numLockModifier();
    grab.ignored = XCB_MOD_MASK_LOCK | numLock;
    for (std::uint16_t variant : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_LOCK}, numLock,
                                  static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK)}) {
        // NumLock may share a modifier with the combination itself, or be missing.
        variant &= static_cast<std::uint16_t>(~grab.modifiers);
        if (std::find(grab.variants.begin(), grab.variants.end(), variant) == grab.variants.end()) {
            grab.variants.push_back(variant);
        }
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (auto variant : grab.variants) {
        cookies.push_back(xcb_grab_key_checked(state.connection, 1, state.root,
                                               grab.modifiers | variant, grab.keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<std::uint16_t> granted;
    std::optional<std::uint8_t> refusal;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (auto error = own(xcb_request_check(state.connection, cookies[i]))) {
            if (!refusal || error->error_code == badAccess) {
                refusal = error->error_code;
            }
        } else {
            granted.push_back(grab.variants[i]);
        }
    }
    if (!refusal && xcb_connection_has_error(state.connection) != 0) {
        refusal = 0;
    }
    if (refusal) {
        // Leave nothing half-grabbed: a grab of ours on some lock variant would still
        // steal those presses from the application that owns the combination.
        state.ungrab(Grab{grab.ref, grab.keycode, grab.modifiers, grab.ignored, granted, id});
        if (*refusal == badAccess) {
            log::line("Global shortcut: the combination is already grabbed by another X client");
        } else {
            log::line("Global shortcut: the X server refused the grab (error " +
                      std::to_string(*refusal) + ")");
        }
        return std::nullopt;
    }
    ++state.nextRef;
    state.held.reset();
    state.grabs.push_back(std::move(grab));
    return state.grabs.back().ref;
}

void X11HotKeys::unregisterHotKey(HotKeyRef ref) {
    State& state = *state_;
    auto grab = std::find_if(state.grabs.begin(), state.grabs.end(),
                             [&](const Grab& g) { return g.ref == ref; });
    if (grab == state.grabs.end()) {
        return;
    }
    if (!state.broken) {
        state.ungrab(*grab);
    }
    if (state.held == grab->keycode) {
        state.held.reset();
    }
    state.grabs.erase(grab);
}

bool X11HotKeys::installPressHandler(PressHandler handler) {
    state_->handlers.push_back(std::move(handler));
    return true;
}

}  // namespace mavu::hotkey
