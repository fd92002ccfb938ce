#include "platform/hotkey/X11HotKeys.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>

#include "app/shortcut/GlobalShortcutManager.h"
#include "app/shortcut/KeyCombo.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/support/ChildProcess.h"

namespace mavu::hotkey {
namespace {

using namespace std::chrono_literals;

// X keycodes of the evdev keymap every X server uses.
constexpr xcb_keycode_t controlKey = 37, altKey = 64, superKey = 133, zKey = 52, xKey = 53;
constexpr std::uint16_t controlAltSuper = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint32_t controlOptionCommand =
    modifierMask::control | modifierMask::option | modifierMask::command;

// A private X server. Xvfb picks a free display itself (-displayfd), so tests running side
// by side never collide; it writes the number and a newline once it accepts clients.
struct Xvfb {
    Xvfb() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        pid = testing::startProcess(
            "Xvfb",
            {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24"},
            fds[1]);
        close(fds[1]);
        pollfd readable{fds[0], POLLIN, 0};
        for (char c = 0; poll(&readable, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n';) {
            display += c;
        }
        close(fds[0]);
    }
    ~Xvfb() { testing::endProcess(pid); }
    pid_t pid = -1;
    std::string display = ":";
};

struct Connection {
    explicit Connection(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }

    // True when the server granted the grab.
    bool grab(xcb_keycode_t key, std::uint16_t modifiers) {
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_grab_key_checked(c, 1, root, modifiers, key,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    // Presses the keys in order and releases them in reverse, as a person would; hold
    // serves the loop between the two.
    void type(std::initializer_list<xcb_keycode_t> keys, const std::function<void()>& hold = {}) {
        for (auto key : keys) {
            xcb_test_fake_input(c, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        if (hold) {
            sync();
            hold();
        }
        for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
            xcb_test_fake_input(c, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        sync();
    }
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    xcb_connection_t* c;
};

struct X11HotKeysTest : ::testing::Test {
    // Serves the loop until done() holds or limit passes, in 5 ms slices.
    bool pumpUntil(const std::function<bool()>& done, dispatch::Duration limit = 5s) {
        const auto deadline = clock.monotonicNow() + limit;
        while (!done() && clock.monotonicNow() < deadline) {
            loop.asyncAt(clock.monotonicNow() + 5ms, [this] { loop.stop(); });
            loop.run();
        }
        return done();
    }
    void idle(dispatch::Duration time) {
        pumpUntil([] { return false; }, time);
    }
    void pressShortcut(const std::function<void()>& hold = {}) {
        tester.type({controlKey, altKey, superKey, zKey}, hold);
    }

    Xvfb xvfb;
    dispatch::SystemClock clock;
    dispatch::RunLoop loop{clock};
    Connection tester{xvfb.display};
    int runs = 0;
};

TEST_F(X11HotKeysTest, ACombinationHeldElsewhereIsRefusedAndNothingStaysGrabbed) {
    X11HotKeys hotKeys(loop, xvfb.display);
    {
        // The other client holds only the CapsLock+NumLock variant, so the backend's
        // earlier variants succeed and must be released again.
        Connection other(xvfb.display);
        ASSERT_TRUE(other.grab(zKey, controlAltSuper | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));
        EXPECT_FALSE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 1}));
        for (const int variant : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2)}) {
            EXPECT_TRUE(Connection(xvfb.display).grab(zKey, controlAltSuper | variant)) << variant;
        }
    }
    // Once the other clients are gone the combination is free for us, once.
    EXPECT_TRUE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 1}));
    EXPECT_FALSE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 2}));
    EXPECT_FALSE(Connection(xvfb.display).grab(zKey, controlAltSuper));

    // Without a display nothing can be registered.
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    EXPECT_FALSE(X11HotKeys(loop).registerHotKey(6, controlOptionCommand, {0, 1}));
    if (!display.empty()) {
        setenv("DISPLAY", display.c_str(), 1);
    }
}

// Through the manager: the same combination again is released before it is asked for; a
// press fires once however long it is held (auto-repeat at 50 Hz after 20 ms) and whatever
// the locks; other keys do not; unregistered, the combination is free for others.
TEST_F(X11HotKeysTest, APressFiresOnceWhateverTheLocksUntilUnregistered) {
    ASSERT_EQ(std::system(("xset -display " + xvfb.display + " r rate 20 50").c_str()), 0);
    shortcut::GlobalShortcutManager manager(std::make_unique<X11HotKeys>(loop, xvfb.display));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(manager.registerHotKey(6, shortcut::defaultCombo.modifiers, [&] { ++runs; }));
    }
    pressShortcut([&] { idle(300ms); });
    idle(50ms);
    EXPECT_EQ(runs, 1);
    tester.type({controlKey, altKey, zKey});
    tester.type({controlKey, altKey, superKey, xKey});
    // None, NumLock, then CapsLock on as well.
    for (const xcb_keycode_t lock : {0, 77, 66}) {
        if (lock) {
            tester.type({lock});
        }
        pressShortcut();
        EXPECT_TRUE(pumpUntil([&, expected = runs + 1] { return runs == expected; }));
    }
    idle(100ms);
    EXPECT_EQ(runs, 4);

    manager.unregister();
    EXPECT_TRUE(Connection(xvfb.display).grab(zKey, controlAltSuper));
    pressShortcut();
    idle(100ms);
    EXPECT_EQ(runs, 4);
}

}  // namespace
}  // namespace mavu::hotkey
