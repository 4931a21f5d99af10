#include "app/ScreenPlace.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

namespace zelvar {

QPoint screenPlace(const QWidget &window)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    // Only the xcb platform answers with the window's own server.
    xcb_connection_t *connection =
        x11 && QGuiApplication::platformName() == QLatin1String("xcb") ? x11->connection() : nullptr;
    if (!connection || !window.isVisible() || !window.windowHandle())
        return window.pos();
    const xcb_window_t client = xcb_window_t(window.winId());
    // The root of the client's own screen.
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, client), nullptr);
    if (!tree)
        return window.pos();
    const xcb_window_t root = tree->root;
    std::free(tree);
    xcb_translate_coordinates_reply_t *origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, client, root, 0, 0), nullptr);
    if (!origin)
        return window.pos();
    const QPoint clientAt(origin->dst_x, origin->dst_y);
    std::free(origin);
    // pos() counts the frame: the decorations' size stands between it and the client area.
    const QPoint frame = window.geometry().topLeft() - window.frameGeometry().topLeft();
    return clientAt - frame;
}

} // namespace zelvar
