#pragma once

#include "platform/Pasteboard.h"

#include <QCoreApplication>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The fake clipboard's encoders: "PNG <w>x<h>" / "TIFF <w>x<h>", or nothing when `pngFails` /
// `tiffFails`; they count their calls, and a TIFF can be held up (`beforeTiff`).
struct FakePasteboardEncoder final : platform::PasteboardEncoder {
    QByteArray pngData(const QImage &image) const override
    {
        return encoded("PNG", image, pngFails);
    }
    QByteArray tiffData(const QImage &image) const override
    {
        if (beforeTiff)
            beforeTiff();
        tiffImage = image;
        return encoded("TIFF", image, tiffFails);
    }
    QByteArray encoded(const char *kind, const QImage &image, bool fails) const
    {
        ++encodings;
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++encodingsOnMainThread;
        if (fails || image.isNull())
            return {};
        return QStringLiteral("%1 %2x%3").arg(kind).arg(image.width()).arg(image.height()).toUtf8();
    }

    // Set by a test while an encoding thread may be reading them.
    std::atomic<bool> pngFails = false;
    std::atomic<bool> tiffFails = false;
    std::function<void()> beforeTiff; // run on the encoding thread as a TIFF is begun
    mutable QImage tiffImage;         // what the last TIFF was made of
    mutable std::atomic<int> encodings = 0;
    mutable std::atomic<int> encodingsOnMainThread = 0;
};

// A clipboard in memory, which keeps what it offers inside itself. Records "clear",
// "file(<url>)", "data(<type>)", "provided(<type>)", "offer(<type>,<type>...)" and
// "string(<text>)" in `calls` and refuses
// what `refuseFileURL` and `refusedTypes` say. paste() reads a type the way a paste does, making
// provided bytes once. A file offer is withdrawn (its callback run) when anything replaces it,
// on takeOver() (another program copies) and when the clipboard goes. Its encoder's settings and
// counts are reachable here.
class FakePasteboard : public platform::Pasteboard {
public:
    ~FakePasteboard() override { withdrawFile(); }

    void clearContents() override
    {
        calls << QStringLiteral("clear");
        replaceContents();
    }
    bool writeFileURL(const QUrl &url, std::function<void()> onWithdrawn) override
    {
        calls << QStringLiteral("file(%1)").arg(url.toString());
        replaceContents();
        fileWithdrawn = std::move(onWithdrawn);
        if (refuseFileURL)
            withdrawFile();
        else
            file = url;
        return !refuseFileURL;
    }
    bool setData(const QByteArray &data, const QString &mimeType) override
    {
        calls << QStringLiteral("data(%1)").arg(mimeType);
        return add(mimeType, [data] { return data; });
    }
    bool setProvidedData(std::function<QByteArray()> provide, const QString &mimeType) override
    {
        calls << QStringLiteral("provided(%1)").arg(mimeType);
        return add(mimeType, std::move(provide));
    }
    bool offerProvidedData(QList<ProvidedData> types) override
    {
        QStringList names;
        for (const ProvidedData &type : std::as_const(types))
            names << type.mimeType;
        calls << QStringLiteral("offer(%1)").arg(names.join(QLatin1Char(',')));
        replaceContents();
        bool any = false;
        for (ProvidedData &type : types)
            any = add(type.mimeType, std::move(type.provide)) || any;
        return any;
    }
    bool setString(const QString &string) override
    {
        calls << QStringLiteral("string(%1)").arg(string);
        if (refusedTypes.contains(QStringLiteral("text/plain")))
            return false;
        replaceContents();
        text = string;
        return true;
    }
    std::shared_ptr<const platform::PasteboardEncoder> encoder() const override
    {
        return fakeEncoder;
    }

    QStringList offeredTypes() const
    {
        QStringList types;
        for (const Offer &offer : offers)
            types << offer.type;
        return types;
    }
    QByteArray paste(const QString &type)
    {
        for (Offer &offer : offers) {
            if (offer.type != type)
                continue;
            if (offer.provide) {
                offer.bytes = offer.provide();
                offer.provide = nullptr;
            }
            return offer.bytes;
        }
        return {};
    }
    // Another program copied something.
    void takeOver()
    {
        replaceContents();
        text = QStringLiteral("another program's text");
    }

    const std::shared_ptr<FakePasteboardEncoder> fakeEncoder =
        std::make_shared<FakePasteboardEncoder>();
    QStringList calls;
    std::optional<QString> text;
    std::optional<QUrl> file;
    bool refuseFileURL = false;
    QSet<QString> refusedTypes;
    std::atomic<bool> &pngFails = fakeEncoder->pngFails;
    std::atomic<bool> &tiffFails = fakeEncoder->tiffFails;
    std::atomic<int> &encodings = fakeEncoder->encodings;
    std::atomic<int> &encodingsOnMainThread = fakeEncoder->encodingsOnMainThread;

private:
    struct Offer {
        QString type;
        std::function<QByteArray()> provide;
        QByteArray bytes;
    };

    bool add(const QString &type, std::function<QByteArray()> provide)
    {
        if (refusedTypes.contains(type))
            return false;
        withdrawFile();
        offers.append({type, std::move(provide), {}});
        return true;
    }
    void replaceContents()
    {
        offers.clear();
        text.reset();
        withdrawFile();
    }
    void withdrawFile()
    {
        file.reset();
        if (auto withdrawn = std::exchange(fileWithdrawn, nullptr))
            withdrawn();
    }
    QList<Offer> offers;
    std::function<void()> fileWithdrawn;
};
