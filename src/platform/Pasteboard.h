#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

namespace platform {

// The clipboard's representations of an image, PNG and TIFF; empty when the encoder produced
// nothing (a null image, say). Any thread, so that a large image is encoded away from the
// interface. Apart from the clipboard, so that what a copy offers can make its bytes when a
// paste asks, even after the clipboard object went, without holding that.
class PasteboardEncoder {
public:
    virtual ~PasteboardEncoder() = default;

    virtual QByteArray pngData(const QImage &image) const = 0;
    virtual QByteArray tiffData(const QImage &image) const = 0;
};

// The desktop's clipboard. The clipboard calls belong to the main thread.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Empties the clipboard, whoever filled it.
    virtual void clearContents() = 0;
    // Offers one file, the way file managers paste it, in place of everything else. False
    // when the clipboard refused it. onWithdrawn runs once, on the main thread, when the
    // clipboard stops offering the file: another program or a later write took the clipboard
    // over, or this program is ending (at once when the file was refused outright).
    virtual bool writeFileURL(const QUrl &url, std::function<void()> onWithdrawn = {}) = 0;
    // Adds bytes under a MIME type to what this program has offered since the last
    // clearContents(), after the types offered before. The bytes are handed to every paste as
    // they are: nothing is encoded at paste time. False when the clipboard refused them.
    virtual bool setData(const QByteArray &data, const QString &mimeType) = 0;
    // Like setData(), but the type is offered at once and its bytes are made by provide() only
    // when a paste first asks for them, then kept for every later paste. provide() runs at most
    // once, on whichever thread serves that paste; it is dropped once it has run, or when the
    // offer goes.
    virtual bool setProvidedData(std::function<QByteArray()> provide, const QString &mimeType) = 0;
    // One type of an offer, its bytes made as setProvidedData() makes them.
    struct ProvidedData {
        QString mimeType;
        std::function<QByteArray()> provide;
    };
    // Offers the types, in this order, in place of everything else, in one change of the
    // clipboard: a paste never finds it empty or offering only some of them. False when the
    // clipboard took none.
    virtual bool offerProvidedData(QList<ProvidedData> types) = 0;
    // Offers plain text in place of everything else. False when refused.
    virtual bool setString(const QString &text) = 0;

    // The encoder of the clipboard's image representations.
    virtual std::shared_ptr<const PasteboardEncoder> encoder() const = 0;

    // Counts a write asked for now, whatever it will offer, as the latest; the answer tells,
    // later, whether it still is. A write still being made when another is asked for leaves the
    // clipboard to that one: the copy asked for last wins. Main thread; the answer may outlive
    // the clipboard.
    std::function<bool()> takeTurn()
    {
        const quint64 turn = ++*m_turns;
        return [turns = m_turns, turn] { return *turns == turn; };
    }

private:
    std::shared_ptr<quint64> m_turns = std::make_shared<quint64>(0);
};

} // namespace platform
