#include "shell/bring_to_front.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace kinolark::shell {

namespace {

// Qt asks for the focus with the time of the last X event it saw. Once
// another window has had the focus since, the X server and the window
// manager take that for a stale request and ignore it; the current time
// counts, and the window manager heeds a request made as a task bar makes
// it, on the user's behalf.
void activateOnX11(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (tree && atom) {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom->atom;
        event.data.data32[0] = 2; // from a task bar
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, tree->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    }
    std::free(tree);
    std::free(atom);
    // Without a window manager no one answers that message.
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

} // namespace

void bringToFront(QWidget *window)
{
    const bool minimised = window->isMinimized();
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // A minimised window is not mapped yet; the window manager gives it the
    // focus as it restores it.
    if (x11 && !minimised)
        activateOnX11(x11->connection(), xcb_window_t(window->winId()));
}

} // namespace kinolark::shell
