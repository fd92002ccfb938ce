#include "app/ui/X11Compositing.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <string>

namespace mavu::ui {

bool hasCompositingManager() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return true;
    }
    xcb_connection_t* connection = x11->connection();
    // The compositing manager owns the selection _NET_WM_CM_S<screen>.
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        const std::string name = display;
        const auto dot = name.rfind('.');
        if (dot != std::string::npos && dot > name.rfind(':')) {
            screen = std::atoi(name.c_str() + dot + 1);
        }
    }
    const std::string atomName = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(atomName.size()), atomName.c_str()),
        nullptr);
    if (atom == nullptr) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool running = owner != nullptr && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return running;
}

}  // namespace mavu::ui
