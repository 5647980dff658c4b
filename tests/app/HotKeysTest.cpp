// The hot keys on a real X11 display: grabbing Ctrl+Alt+letter, a combination another client holds, release.
#include "HotKeys.h"

#include <QApplication>

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

using namespace quimbrel;

namespace {

QApplication* x11Application() {
    static int argc = 1;
    static char name[] = "app_x11_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Another X client grabbing Ctrl+Alt+key, as a program holding the combination would.
class OtherClient {
public:
    explicit OtherClient(char letter) {
        m_c = xcb_connect(nullptr, nullptr);
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        m_root = xcb_setup_roots_iterator(setup).data->root;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_c);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, static_cast<xcb_keysym_t>(letter));
        m_code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        xcb_grab_key(m_c, 1, m_root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, m_code, XCB_GRAB_MODE_ASYNC,
                     XCB_GRAB_MODE_ASYNC);
        syncWithServer();
    }
    ~OtherClient() { xcb_disconnect(m_c); }

private:
    void syncWithServer() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_keycode_t m_code = 0;
};

} // namespace

TEST(HotKeys, GrabsOnX11AndLeavesACombinationAnotherProgramHolds) {
    if (!std::getenv("QUIMBREL_TEST_DISPLAY") || !std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display (scripts/with-services)";
    x11Application();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    OtherClient holder('h');
    HotKeys keys;
    const int r = keys.registerKey('R');
    const int s = keys.registerKey('S');
    EXPECT_NE(r, 0);
    EXPECT_NE(s, 0);
    EXPECT_NE(r, s);
    EXPECT_EQ(keys.registerKey('H'), 0); // held elsewhere: not reachable by this key
    EXPECT_EQ(keys.count(), 2);
    keys.unregisterAll();
    EXPECT_EQ(keys.count(), 0);

    // Released, the combinations can be had again.
    HotKeys again;
    EXPECT_NE(again.registerKey('R'), 0);
}
