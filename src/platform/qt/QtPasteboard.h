#pragma once

#include "platform/Pasteboard.h"

#include <QList>
#include <QPair>

class QMimeData;

namespace platform {

// The clipboard through Qt (the X11 CLIPBOARD selection under xcb). Images are offered as
// ready-made bytes, so a paste costs no encoding; files as their URL plus the type file managers
// paste from ("x-special/gnome-copied-files"). On X11 the contents go when the program exits,
// unless a clipboard manager took them over.
class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    bool writeFileURL(const QUrl &url) override;
    bool setData(const QByteArray &data, const QString &mimeType) override;
    bool setString(const QString &text) override;

    // PNG from the fast encoder, TIFF uncompressed.
    QByteArray pngData(const QImage &image) const override;
    QByteArray tiffData(const QImage &image) const override;

private:
    static bool offer(QMimeData *mimeData);

    // What setData() has offered since the last clear, in order.
    QList<QPair<QString, QByteArray>> m_offered;
};

} // namespace platform
