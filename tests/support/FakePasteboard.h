#pragma once

#include "platform/Pasteboard.h"

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <optional>

// A clipboard in memory. Records "clear", "file(<url>)", "data(<type>)" and "string(<text>)" in
// `calls` and refuses what `refuseFileURL` and `refusedTypes` say. The encoders give
// "PNG <w>x<h>" / "TIFF <w>x<h>", or nothing when `pngFails` / `tiffFails`, and count their calls.
class FakePasteboard : public platform::Pasteboard {
public:
    void clearContents() override
    {
        calls << QStringLiteral("clear");
        offered.clear();
        text.reset();
    }
    bool writeFileURL(const QUrl &url) override
    {
        calls << QStringLiteral("file(%1)").arg(url.toString());
        return !refuseFileURL;
    }
    bool setData(const QByteArray &data, const QString &mimeType) override
    {
        calls << QStringLiteral("data(%1)").arg(mimeType);
        if (refusedTypes.contains(mimeType))
            return false;
        offered.append({mimeType, data});
        return true;
    }
    bool setString(const QString &string) override
    {
        calls << QStringLiteral("string(%1)").arg(string);
        text = string;
        return true;
    }
    QByteArray pngData(const QImage &image) const override
    {
        return encoded("PNG", image, pngFails);
    }
    QByteArray tiffData(const QImage &image) const override
    {
        return encoded("TIFF", image, tiffFails);
    }

    QStringList calls;
    QList<QPair<QString, QByteArray>> offered;
    std::optional<QString> text;
    bool refuseFileURL = false;
    QSet<QString> refusedTypes;
    bool pngFails = false;
    bool tiffFails = false;
    mutable std::atomic<int> encodings = 0;
    mutable std::atomic<int> encodingsOnMainThread = 0;

private:
    QByteArray encoded(const char *kind, const QImage &image, bool fails) const
    {
        ++encodings;
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++encodingsOnMainThread;
        if (fails || image.isNull())
            return {};
        return QStringLiteral("%1 %2x%3").arg(kind).arg(image.width()).arg(image.height()).toUtf8();
    }
};
