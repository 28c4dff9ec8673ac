#include "platform/window_functions.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(DAREDAZI_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace platform {

bool systemMoveFollowsPress()
{
    return QGuiApplication::platformName() != QLatin1String("xcb");
}

#if defined(Q_OS_WIN)

namespace {
struct Search {
    std::wstring part;
    HWND found = nullptr;
};

BOOL CALLBACK visit(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t title[512] = {};
    if (GetWindowTextW(window, title, 511) > 0 && std::wstring(title).find(search->part) != std::wstring::npos) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

bool activateWindowTitled(const QString& titlePart)
{
    Search search{titlePart.toStdWString()};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    if (IsIconic(search.found))
        OpenIcon(search.found);
    else
        SetForegroundWindow(search.found);
    return true;
}

#elif defined(DAREDAZI_HAVE_XCB)

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property's bytes, bounded by what the server says it sent.
QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type, uint32_t longs = 1024)
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, longs), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
}

std::vector<xcb_window_t> topLevelWindows(xcb_connection_t* c, xcb_window_t root, xcb_atom_t clientList)
{
    std::vector<xcb_window_t> windows;
    // The window manager's list of managed windows; without a window
    // manager, the root's own children are the top-level windows.
    const QByteArray list = property(c, root, clientList, XCB_ATOM_WINDOW, 65536);
    if (!list.isEmpty()) {
        const qsizetype n = list.size() / qsizetype(sizeof(xcb_window_t));
        windows.resize(size_t(n));
        memcpy(windows.data(), list.constData(), size_t(n) * sizeof(xcb_window_t));
        return windows;
    }
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
    return windows;
}

bool activateOn(xcb_connection_t* c, const QString& titlePart)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return false;
    const xcb_window_t root = screen->root;
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t netWmName = atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    const xcb_atom_t wmState = atom(c, "WM_STATE");
    const xcb_atom_t activeWindow = atom(c, "_NET_ACTIVE_WINDOW");

    for (const xcb_window_t w : topLevelWindows(c, root, clientList)) {
        QString title = QString::fromUtf8(property(c, w, netWmName, utf8));
        if (title.isEmpty())
            title = QString::fromLocal8Bit(property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY));
        if (!title.contains(titlePart))
            continue;

        // WM_STATE 3 is iconic; mapping an iconic window asks for it back
        // in the normal state, and an unmapped one without a window
        // manager is simply shown again.
        const QByteArray state = property(c, w, wmState, wmState, 2);
        uint32_t stateValue = 0;
        if (state.size() >= 4)
            memcpy(&stateValue, state.constData(), 4);
        Reply<xcb_get_window_attributes_reply_t> attrs(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
        if (stateValue == 3 || (attrs && attrs->map_state != XCB_MAP_STATE_VIEWABLE))
            xcb_map_window(c, w);

        // Ask the window manager to activate it (source 1: an application).
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = activeWindow;
        event.data.data32[0] = 1;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        // Without a window manager, raise it ourselves.
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        // A round trip, so the requests are carried out before we return
        // (and before a connection of our own is closed).
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return true;
    }
    return false;
}

}  // namespace

bool activateWindowTitled(const QString& titlePart)
{
    if (titlePart.isEmpty())
        return false;
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* c = x11->connection())
            return activateOn(c, titlePart);
    }
    // Not on X11 ourselves (offscreen, Wayland): the help viewer may still be
    // on an X display, so look there.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    const bool found = activateOn(c, titlePart);
    xcb_disconnect(c);
    return found;
}

#else

bool activateWindowTitled(const QString&)
{
    return false;
}

#endif

}  // namespace platform
