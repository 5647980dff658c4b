// X11 key grabs through xcb; UI thread.
#include "HotKeys.h"

#include "X11Connection.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace quimbrel {

namespace {

xcb_window_t rootWindow(xcb_connection_t* c) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    return screen ? screen->root : 0;
}

constexpr std::uint16_t kModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
// The same combination with Caps Lock and Num Lock (Mod2) on.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

} // namespace

HotKeys::HotKeys(QObject* parent) : QObject(parent) {}

HotKeys::~HotKeys() {
    unregisterAll();
    if (m_filtering && qApp)
        qApp->removeNativeEventFilter(this);
}

int HotKeys::registerKey(char letter) {
    xcb_connection_t* c = x11Connection();
    if (!c)
        return 0;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!symbols)
        return 0;
    const xcb_keysym_t sym =
        static_cast<xcb_keysym_t>(letter >= 'A' && letter <= 'Z' ? letter + ('a' - 'A') : letter);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
    xcb_key_symbols_free(symbols);
    if (!codes || codes[0] == XCB_NO_SYMBOL) {
        std::free(codes);
        return 0;
    }
    const xcb_keycode_t code = codes[0];
    std::free(codes);
    const xcb_window_t root = rootWindow(c);
    bool taken = false;
    for (std::uint16_t lock : kLockVariants) {
        xcb_void_cookie_t cookie =
            xcb_grab_key_checked(c, 1, root, static_cast<std::uint16_t>(kModifiers | lock), code,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            taken = true;
            std::free(error);
        }
    }
    if (taken) {
        for (std::uint16_t lock : kLockVariants)
            xcb_ungrab_key(c, code, root, static_cast<std::uint16_t>(kModifiers | lock));
        xcb_flush(c);
        return 0;
    }
    xcb_flush(c);
    if (!m_filtering) {
        qApp->installNativeEventFilter(this);
        m_filtering = true;
    }
    const int id = m_nextId++;
    m_keys.push_back({id, code});
    return id;
}

void HotKeys::unregisterAll() {
    xcb_connection_t* c = x11Connection();
    if (c) {
        const xcb_window_t root = rootWindow(c);
        for (const Key& k : m_keys)
            for (std::uint16_t lock : kLockVariants)
                xcb_ungrab_key(c, static_cast<xcb_keycode_t>(k.keycode), root,
                               static_cast<std::uint16_t>(kModifiers | lock));
        xcb_flush(c);
    }
    m_keys.clear();
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || m_keys.empty())
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    if ((key->state & kModifiers) != kModifiers)
        return false;
    for (const Key& k : m_keys)
        if (k.keycode == key->detail) {
            emit pressed(k.id);
            return true;
        }
    return false;
}

} // namespace quimbrel
