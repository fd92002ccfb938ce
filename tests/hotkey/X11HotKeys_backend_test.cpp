#include "platform/hotkey/X11HotKeys.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "app/shortcut/GlobalShortcutManager.h"
#include "app/shortcut/KeyCombo.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/support/ChildProcess.h"

namespace mavu::hotkey {
namespace {

using namespace std::chrono_literals;

constexpr xcb_keycode_t zKey = 52;  // in the evdev keymap every X server uses
constexpr std::uint16_t controlAltSuper = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint32_t controlOptionCommand =
    modifierMask::control | modifierMask::option | modifierMask::command;

// Another client of the server; its grabs end with it.
struct Connection {
    explicit Connection(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    bool grab(xcb_keycode_t key, int modifiers) {
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_grab_key_checked(c, 1, root, std::uint16_t(modifiers), key,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    xcb_connection_t* c;
};

struct X11HotKeysTest : ::testing::Test {
    ~X11HotKeysTest() override {
        if (xvfb.pid() > 0) {
            kill(xvfb.pid(), SIGTERM);  // lets it remove its lock and socket
            xvfb.finish(5s);
        }
    }
    void SetUp() override { ASSERT_NE(display, ":") << "Xvfb did not start"; }
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
    // xdotool types through XTest as a person would: modifiers first, released last.
    void run(const std::string& program, std::vector<std::string> args) {
        const auto result = testing::runProcess(program, args, {{"DISPLAY", display}});
        EXPECT_EQ(result.status, 0) << program << " " << args[0] << ": " << result.err;
    }
    void key(const std::string& keys, const char* how = "key") { run("xdotool", {how, keys}); }

    // A private X server. Xvfb picks a free display itself and writes its number once it
    // accepts clients, so tests running side by side never collide.
    testing::TalkingProcess xvfb{"Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset"}};
    const std::string display = ":" + xvfb.readLine(10s).value_or("");
    dispatch::SystemClock clock;
    dispatch::RunLoop loop{clock};
    int runs = 0;
};

TEST_F(X11HotKeysTest, ACombinationHeldElsewhereIsRefusedAndNothingStaysGrabbed) {
    X11HotKeys hotKeys(loop, display);
    {
        // The other client holds only the CapsLock+NumLock variant, so the backend's
        // earlier variants succeed and must be released again.
        Connection other(display);
        ASSERT_TRUE(other.grab(zKey, controlAltSuper | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));
        EXPECT_FALSE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 1}));
        for (const int variant : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2)}) {
            EXPECT_TRUE(Connection(display).grab(zKey, controlAltSuper | variant)) << variant;
        }
    }
    // Once the other clients are gone the combination is free for us, once.
    EXPECT_TRUE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 1}));
    EXPECT_FALSE(hotKeys.registerHotKey(6, controlOptionCommand, {0, 2}));
    EXPECT_FALSE(Connection(display).grab(zKey, controlAltSuper));

    // Without a display nothing can be registered.
    const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    EXPECT_FALSE(X11HotKeys(loop).registerHotKey(6, controlOptionCommand, {0, 1}));
    if (!saved.empty()) {
        setenv("DISPLAY", saved.c_str(), 1);
    }
}

// Through the manager: the same combination again is released before it is asked for; a
// press fires once however long it is held (auto-repeat at 50 Hz after 20 ms) and whatever
// the locks; other keys do not; unregistered, the combination is free for others.
TEST_F(X11HotKeysTest, APressFiresOnceWhateverTheLocksUntilUnregistered) {
    run("xset", {"r", "rate", "20", "50"});
    shortcut::GlobalShortcutManager manager(std::make_unique<X11HotKeys>(loop, display));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(manager.registerHotKey(6, shortcut::defaultCombo.modifiers, [&] { ++runs; }));
    }
    key("ctrl+alt+super+z", "keydown");
    idle(300ms);
    key("ctrl+alt+super+z", "keyup");
    idle(50ms);
    EXPECT_EQ(runs, 1);
    key("ctrl+alt+z");
    key("ctrl+alt+super+x");
    for (const char* lock : {"", "Num_Lock", "Caps_Lock"}) {
        if (*lock) {
            key(lock);
        }
        key("ctrl+alt+super+z");
        EXPECT_TRUE(pumpUntil([&, expected = runs + 1] { return runs == expected; })) << lock;
    }
    idle(100ms);
    EXPECT_EQ(runs, 4);

    manager.unregister();
    EXPECT_TRUE(Connection(display).grab(zKey, controlAltSuper));
    key("ctrl+alt+super+z");
    idle(100ms);
    EXPECT_EQ(runs, 4);
}

}  // namespace
}  // namespace mavu::hotkey
