#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>

namespace platform {

// The desktop's clipboard. The clipboard calls belong to the main thread; the image encoders
// may run on any thread, so that a large image is encoded away from the interface.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Empties the clipboard, whoever filled it.
    virtual void clearContents() = 0;
    // Offers one file, the way file managers paste it, in place of everything else. False
    // when the clipboard refused it.
    virtual bool writeFileURL(const QUrl &url) = 0;
    // Adds bytes under a MIME type to what this program has offered since the last
    // clearContents(), after the types offered before. The bytes are handed to every paste as
    // they are: nothing is encoded at paste time. False when the clipboard refused them.
    virtual bool setData(const QByteArray &data, const QString &mimeType) = 0;
    // Offers plain text in place of everything else. False when refused.
    virtual bool setString(const QString &text) = 0;

    // The image as the clipboard's PNG and TIFF representations; empty when the encoder
    // produced nothing (a null image, say). Any thread.
    virtual QByteArray pngData(const QImage &image) const = 0;
    virtual QByteArray tiffData(const QImage &image) const = 0;
};

} // namespace platform
