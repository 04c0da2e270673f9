#include "platform/qt/QtPasteboard.h"

#include "platform/PngEncoder.h"
#include "platform/TiffEncoder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QMutex>
#include <QPointer>
#include <algorithm>
#include <utility>

namespace platform {

// One type on offer: its bytes, or what makes them. Shared by every QMimeData that offers it,
// so that bytes made for one paste serve the later ones too.
struct QtPasteboard::Offered {
    QString type;
    QMutex making;
    std::function<QByteArray()> provide;
    QByteArray bytes;

    // Several pastes may ask at once; one makes the bytes, the others wait for them.
    QByteArray data()
    {
        QMutexLocker lock(&making);
        if (provide) {
            bytes = provide();
            // Whatever it held (a full-size image, say) is not needed any more.
            provide = nullptr;
        }
        return bytes;
    }
};

namespace {

class OfferedMimeData final : public QMimeData {
public:
    explicit OfferedMimeData(QList<std::shared_ptr<QtPasteboard::Offered>> offered)
        : m_offered(std::move(offered))
    {
    }

    QStringList formats() const override
    {
        QStringList types;
        for (const auto &offered : m_offered)
            types << offered->type;
        return types;
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        for (const auto &offered : m_offered) {
            if (offered->type == mimeType)
                return offered->data();
        }
        return {};
    }

private:
    const QList<std::shared_ptr<QtPasteboard::Offered>> m_offered;
};

// The clipboard deletes its data when it is replaced (by us or by another program's copy) or
// when the program ends: that is when the file stops being offered.
class FileMimeData final : public QMimeData {
public:
    explicit FileMimeData(std::function<void()> onWithdrawn) : m_onWithdrawn(std::move(onWithdrawn))
    {
    }
    ~FileMimeData() override { withdraw(); }

    // Refused data stays with the clipboard until the next write replaces it, offered to nobody.
    void withdraw()
    {
        if (std::function<void()> onWithdrawn = std::exchange(m_onWithdrawn, {}))
            onWithdrawn();
    }

private:
    std::function<void()> m_onWithdrawn;
};

} // namespace

void QtPasteboard::clearContents()
{
    m_offered.clear();
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->clear();
}

bool QtPasteboard::writeFileURL(const QUrl &url, std::function<void()> onWithdrawn)
{
    m_offered.clear();
    auto *mimeData = new FileMimeData(std::move(onWithdrawn));
    mimeData->setUrls({url});
    mimeData->setData(QStringLiteral("x-special/gnome-copied-files"),
                      QByteArrayLiteral("copy\n") + url.toEncoded());
    const QPointer<QMimeData> held(mimeData);
    if (offer(mimeData))
        return true;
    if (held)
        static_cast<FileMimeData *>(held.data())->withdraw();
    return false;
}

bool QtPasteboard::setData(const QByteArray &data, const QString &mimeType)
{
    auto added = std::make_shared<Offered>();
    added->type = mimeType;
    added->bytes = data;
    return offerAdded(std::move(added));
}

bool QtPasteboard::setProvidedData(std::function<QByteArray()> provide, const QString &mimeType)
{
    auto added = std::make_shared<Offered>();
    added->type = mimeType;
    added->provide = std::move(provide);
    return offerAdded(std::move(added));
}

bool QtPasteboard::offerProvidedData(QList<ProvidedData> types)
{
    QList<std::shared_ptr<Offered>> offered;
    for (ProvidedData &type : types) {
        auto added = std::make_shared<Offered>();
        added->type = type.mimeType;
        added->provide = std::move(type.provide);
        offered.append(std::move(added));
    }
    m_offered = {offered.cbegin(), offered.cend()};
    return offerOrForget(new OfferedMimeData(offered));
}

bool QtPasteboard::offerAdded(std::shared_ptr<Offered> added)
{
    // Qt takes the data as a whole, so each addition offers everything again; what was offered
    // before is shared, not copied or made again. What another program's copy replaced meanwhile
    // is gone.
    QList<std::shared_ptr<Offered>> offered;
    for (const std::weak_ptr<Offered> &earlier : std::as_const(m_offered)) {
        std::shared_ptr<Offered> kept = earlier.lock();
        if (kept && kept->type != added->type)
            offered.append(std::move(kept));
    }
    offered.append(std::move(added));
    m_offered = {offered.cbegin(), offered.cend()};
    return offerOrForget(new OfferedMimeData(offered));
}

bool QtPasteboard::offerOrForget(QMimeData *mimeData)
{
    if (offer(mimeData))
        return true;
    // A refused offer is nothing a later addition builds on.
    m_offered.clear();
    return false;
}

bool QtPasteboard::setString(const QString &text)
{
    m_offered.clear();
    auto *mimeData = new QMimeData;
    mimeData->setText(text);
    return offer(mimeData);
}

namespace {

class QtPasteboardEncoder final : public PasteboardEncoder {
public:
    QByteArray pngData(const QImage &image) const override { return PngEncoder::encode(image); }
    QByteArray tiffData(const QImage &image) const override { return TiffEncoder::encode(image); }
};

} // namespace

QtPasteboard::QtPasteboard() : m_encoder(std::make_shared<const QtPasteboardEncoder>()) {}

bool QtPasteboard::offer(QMimeData *mimeData)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        delete mimeData;
        return false;
    }
    // Data that another program's copy takes over later, Qt deletes, which withdraws our offers.
    clipboard->setMimeData(mimeData);
    // The X server refuses the selection to a set stamped before another program's later one,
    // which Qt only warns about. Our own data is handed back only while we own the selection:
    // under xcb that asks the X server once more.
    return clipboard->mimeData() == mimeData;
}

} // namespace platform
