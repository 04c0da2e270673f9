#include "platform/x11/X11CursorImage.h"

namespace platform {

X11CursorImage cursorImage(const xcb_xfixes_get_cursor_image_reply_t *cursor)
{
    if (!cursor || cursor->width == 0 || cursor->height == 0 ||
        xcb_xfixes_get_cursor_image_cursor_image_length(cursor) <
            int(cursor->width) * int(cursor->height))
        return {};
    // Premultiplied ARGB in 32-bit values of the client's byte order, as Qt's format expects.
    const QImage sprite(
        reinterpret_cast<const uchar *>(xcb_xfixes_get_cursor_image_cursor_image(cursor)),
        cursor->width, cursor->height, int(cursor->width) * 4, QImage::Format_ARGB32_Premultiplied);
    return {sprite, QPoint(cursor->x - cursor->xhot, cursor->y - cursor->yhot)};
}

} // namespace platform
