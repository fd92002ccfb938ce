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
#include "tests/hotkey/XvfbServer.h"

namespace mavu::hotkey {
namespace {

using namespace std::chrono_literals;
using shortcut::GlobalShortcutManager;

// X keycodes of the evdev keymap every X server uses.
constexpr xcb_keycode_t controlKey = 37, altKey = 64, superKey = 133, zKey = 52, xKey = 53;
constexpr xcb_keycode_t numLockKey = 77, capsLockKey = 66;
constexpr std::uint16_t controlAltSuper = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint32_t hotKeyControlOptionCommand =
    modifierMask::control | modifierMask::option | modifierMask::command;

struct Connection {
    explicit Connection(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

    // True when the server granted the grab.
    bool grab(xcb_keycode_t key, std::uint16_t modifiers) {
        auto cookie = xcb_grab_key_checked(c, 1, root(), modifiers, key, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(c, cookie);
        std::free(error);
        return error == nullptr;
    }

    void fake(std::uint8_t type, xcb_keycode_t key) {
        xcb_test_fake_input(c, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    // Presses the keys in order and releases them in reverse, as a person would; hold
    // serves the loop between the two.
    void type(std::initializer_list<xcb_keycode_t> keys, const std::function<void()>& hold = {}) {
        for (auto key : keys) {
            fake(XCB_KEY_PRESS, key);
        }
        if (hold) {
            sync();
            hold();
        }
        for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
            fake(XCB_KEY_RELEASE, *key);
        }
        sync();
    }

    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    // The key presses that reached this client so far.
    int presses() {
        sync();
        int count = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            count += (event->response_type & 0x7f) == XCB_KEY_PRESS;
            std::free(event);
        }
        return count;
    }

    std::uint16_t modifierState() {
        auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, root()), nullptr);
        const std::uint16_t mask = reply ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

    xcb_connection_t* c;
};

class X11HotKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
        tester = std::make_unique<Connection>(xvfb.display());
        ASSERT_EQ(xcb_connection_has_error(tester->c), 0);
    }

    // Registers the default shortcut through the manager; each press counts in runs.
    void registerShortcut() {
        manager = std::make_unique<GlobalShortcutManager>(
            std::make_unique<X11HotKeys>(loop, xvfb.display()));
        ASSERT_TRUE(manager->registerHotKey(6, shortcut::defaultCombo.modifiers, [&] { ++runs; }));
    }

    // Serves the loop until done() holds or limit passes, in 5 ms slices.
    bool pumpUntil(const std::function<bool()>& done, dispatch::Duration limit = 5s) {
        const auto deadline = clock.monotonicNow() + limit;
        while (!done() && clock.monotonicNow() < deadline) {
            loop.asyncAt(clock.monotonicNow() + 5ms, [this] { loop.stop(); });
            loop.run();
        }
        return done();
    }
    void pumpFor(dispatch::Duration span) {
        pumpUntil([] { return false; }, span);
    }

    testing::XvfbServer xvfb;
    dispatch::SystemClock clock;
    dispatch::RunLoop loop{clock};
    std::unique_ptr<Connection> tester;
    std::unique_ptr<GlobalShortcutManager> manager;
    int runs = 0;
};

TEST_F(X11HotKeysTest, CombinationHeldByAnotherClientIsRefusedAndNothingStaysGrabbed) {
    X11HotKeys hotKeys(loop, xvfb.display());
    {
        // The other client holds only the CapsLock+NumLock variant, so the backend's
        // earlier variants succeed and must be released again.
        Connection other(xvfb.display());
        ASSERT_TRUE(other.grab(zKey, controlAltSuper | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));
        EXPECT_FALSE(hotKeys.registerHotKey(6, hotKeyControlOptionCommand, {0, 1}));
    }
    {
        Connection third(xvfb.display());
        for (int variant : std::initializer_list<int>{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                      XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2}) {
            EXPECT_TRUE(third.grab(zKey, static_cast<std::uint16_t>(controlAltSuper | variant)))
                << "variant " << variant;
        }
    }
    // Once the other clients are gone the combination is free for us, once.
    EXPECT_TRUE(hotKeys.registerHotKey(6, hotKeyControlOptionCommand, {0, 1}));
    EXPECT_FALSE(hotKeys.registerHotKey(6, hotKeyControlOptionCommand, {0, 2}));
    Connection fourth(xvfb.display());
    EXPECT_FALSE(fourth.grab(zKey, controlAltSuper));
}

TEST_F(X11HotKeysTest, PressReachesTheActionWhateverTheLocksUntilUnregistered) {
    ASSERT_NO_FATAL_FAILURE(registerShortcut());

    tester->type({controlKey, altKey, superKey, zKey});
    EXPECT_TRUE(pumpUntil([&] { return runs == 1; }));
    // Other keys and other modifier states are not the shortcut.
    tester->type({controlKey, altKey, zKey});
    tester->type({controlKey, altKey, superKey, xKey});
    pumpFor(100ms);
    EXPECT_EQ(runs, 1);

    const std::pair<xcb_keycode_t, std::uint16_t> locks[] = {{numLockKey, XCB_MOD_MASK_2},
                                                             {capsLockKey, XCB_MOD_MASK_LOCK}};
    for (const auto& [key, mask] : locks) {
        tester->type({key});
        ASSERT_NE(tester->modifierState() & mask, 0) << "key " << int(key) << " did not lock";
        const int before = runs;
        tester->type({controlKey, altKey, superKey, zKey});
        EXPECT_TRUE(pumpUntil([&] { return runs == before + 1; }));
    }

    manager->unregister();
    EXPECT_TRUE(Connection(xvfb.display()).grab(zKey, controlAltSuper));  // released for others
    tester->type({controlKey, altKey, superKey, zKey});
    pumpFor(100ms);
    EXPECT_EQ(runs, 3);
}

TEST_F(X11HotKeysTest, HoldingTheCombinationFiresOnce) {
    // Auto-repeat after 20 ms at 50 Hz, so a short hold repeats many times, as a plain
    // grab of another key shows.
    const std::string xset = "xset -display " + xvfb.display() + " r rate 20 50";
    ASSERT_EQ(std::system(xset.c_str()), 0);
    Connection watcher(xvfb.display());
    ASSERT_TRUE(watcher.grab(xKey, 0));
    tester->type({xKey}, [&] { pumpFor(300ms); });
    ASSERT_GT(watcher.presses(), 3) << "the server does not repeat a held key";

    ASSERT_NO_FATAL_FAILURE(registerShortcut());
    tester->type({controlKey, altKey, superKey, zKey}, [&] { pumpFor(300ms); });
    pumpFor(50ms);
    EXPECT_EQ(runs, 1);

    tester->type({controlKey, altKey, superKey, zKey});
    EXPECT_TRUE(pumpUntil([&] { return runs == 2; }));
}

TEST(X11HotKeysWithoutDisplay, RegistrationIsRefused) {
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    unsetenv("DISPLAY");
    dispatch::SystemClock clock;
    dispatch::RunLoop loop(clock);
    X11HotKeys hotKeys(loop);
    EXPECT_FALSE(hotKeys.registerHotKey(6, hotKeyControlOptionCommand, {0, 1}));
    if (saved) {
        setenv("DISPLAY", previous.c_str(), 1);
    }
}

}  // namespace
}  // namespace mavu::hotkey
