#pragma once

#include "platform/Pasteboard.h"

#include <QList>
#include <memory>

class QMimeData;

namespace platform {

// The clipboard through Qt (the X11 CLIPBOARD selection under xcb). The types are offered at
// once; bytes handed in are served as they are, and provided ones are made on the first paste
// that asks for them (the X11 clipboard asks only at paste time), so a copy waits for no
// encoding. Files are offered as their URL plus the type file managers paste from
// ("x-special/gnome-copied-files"). On X11 the contents go when the program exits, unless a
// clipboard manager took them over.
class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    bool writeFileURL(const QUrl &url, std::function<void()> onWithdrawn = {}) override;
    bool setData(const QByteArray &data, const QString &mimeType) override;
    bool setProvidedData(std::function<QByteArray()> provide, const QString &mimeType) override;
    bool setString(const QString &text) override;

    // PNG from the fast encoder, TIFF uncompressed.
    QByteArray pngData(const QImage &image) const override;
    QByteArray tiffData(const QImage &image) const override;

    struct Offered;

private:
    bool offerAdded(std::shared_ptr<Offered> added);
    static bool offer(QMimeData *mimeData);

    // What setData() and setProvidedData() have offered since the last clear, in order. Owned
    // by the clipboard's data alone: a provider may hold this pasteboard, which then lasts as
    // long as the offer does (a clipboard manager may still ask for it as the program ends).
    QList<std::weak_ptr<Offered>> m_offered;
};

} // namespace platform
