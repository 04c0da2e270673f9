#pragma once

#include <QImage>
#include <QPoint>
#include <xcb/xfixes.h>

namespace platform {

// The pointer's picture as XFixes reports it, drawn at `topLeft` (root pixels). The image
// shares the reply's memory: it is valid while the reply is.
struct X11CursorImage {
    QImage sprite;
    QPoint topLeft;
};

// Null sprite when the reply is missing, empty or shorter than its size says.
X11CursorImage cursorImage(const xcb_xfixes_get_cursor_image_reply_t *cursor);

} // namespace platform
