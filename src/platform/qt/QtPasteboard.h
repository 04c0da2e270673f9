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
    QtPasteboard();

    void clearContents() override;
    bool writeFileURL(const QUrl &url, std::function<void()> onWithdrawn = {}) override;
    bool setData(const QByteArray &data, const QString &mimeType) override;
    bool setProvidedData(std::function<QByteArray()> provide, const QString &mimeType) override;
    bool offerProvidedData(QList<ProvidedData> types) override;
    bool setString(const QString &text) override;

    // PNG from the fast encoder, TIFF uncompressed.
    std::shared_ptr<const PasteboardEncoder> encoder() const override { return m_encoder; }

    struct Offered;

private:
    bool offerAdded(std::shared_ptr<Offered> added);
    bool offerOrForget(QMimeData *mimeData);
    static bool offer(QMimeData *mimeData);

    // What setData() and setProvidedData() have offered since the last clear, in order. Owned
    // by the clipboard's data alone, which a clipboard manager may still ask for as the program
    // ends.
    QList<std::weak_ptr<Offered>> m_offered;
    const std::shared_ptr<const PasteboardEncoder> m_encoder;
};

} // namespace platform
