#pragma once

#include "platform/Pasteboard.h"

#include <QList>
#include <QMutex>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <optional>

// A clipboard in memory. Records "clear", "file(<url>)", "data(<type>)" and "string(<text>)"
// in `calls`; refuses what `refuseFileURL`, `refusedTypes` and `refuseString` say. The
// encoders write "PNG <w>x<h>" and "TIFF <w>x<h>", or nothing when `pngFails` / `tiffFails`,
// and note the threads they ran on.
class FakePasteboard : public platform::Pasteboard {
public:
    void clearContents() override
    {
        calls << QStringLiteral("clear");
        offered.clear();
        fileURL.reset();
        text.reset();
    }
    bool writeFileURL(const QUrl &url) override
    {
        calls << QStringLiteral("file(%1)").arg(url.toString());
        if (refuseFileURL)
            return false;
        offered.clear();
        fileURL = url;
        return true;
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
        if (refuseString)
            return false;
        offered.clear();
        text = string;
        return true;
    }

    QByteArray pngData(const QImage &image) const override
    {
        return encoded(QStringLiteral("PNG"), image, pngFails);
    }
    QByteArray tiffData(const QImage &image) const override
    {
        return encoded(QStringLiteral("TIFF"), image, tiffFails);
    }

    QList<QThread *> encodingThreads() const
    {
        QMutexLocker lock(&m_mutex);
        return m_threads;
    }
    int encodings() const
    {
        QMutexLocker lock(&m_mutex);
        return int(m_threads.size());
    }
    QStringList offeredTypes() const
    {
        QStringList types;
        for (const auto &[type, bytes] : offered)
            types << type;
        return types;
    }

    QStringList calls;
    QList<QPair<QString, QByteArray>> offered;
    std::optional<QUrl> fileURL;
    std::optional<QString> text;

    bool refuseFileURL = false;
    QSet<QString> refusedTypes;
    bool refuseString = false;
    bool pngFails = false;
    bool tiffFails = false;

private:
    QByteArray encoded(const QString &kind, const QImage &image, bool fails) const
    {
        {
            QMutexLocker lock(&m_mutex);
            m_threads << QThread::currentThread();
        }
        if (fails || image.isNull())
            return {};
        return QStringLiteral("%1 %2x%3").arg(kind).arg(image.width()).arg(image.height()).toUtf8();
    }

    mutable QMutex m_mutex;
    mutable QList<QThread *> m_threads;
};
