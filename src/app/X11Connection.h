// The X connection of Qt's xcb platform, for the few things done with xcb directly (hot keys, the spectrum's
// pictures); UI thread.
#pragma once

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace quimbrel {

// Null unless the application runs on X.
inline xcb_connection_t* x11Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace quimbrel
