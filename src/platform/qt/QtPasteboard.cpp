#include "platform/qt/QtPasteboard.h"

#include "platform/PngEncoder.h"
#include "platform/TiffEncoder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <utility>

namespace platform {

void QtPasteboard::clearContents()
{
    m_offered.clear();
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->clear();
}

bool QtPasteboard::writeFileURL(const QUrl &url)
{
    m_offered.clear();
    auto *mimeData = new QMimeData;
    mimeData->setUrls({url});
    mimeData->setData(QStringLiteral("x-special/gnome-copied-files"),
                      QByteArrayLiteral("copy\n") + url.toEncoded());
    return offer(mimeData);
}

bool QtPasteboard::setData(const QByteArray &data, const QString &mimeType)
{
    auto existing = std::find_if(m_offered.begin(), m_offered.end(),
                                 [&](const auto &offered) { return offered.first == mimeType; });
    if (existing != m_offered.end())
        existing->second = data;
    else
        m_offered.append({mimeType, data});
    // Qt takes the data as a whole, so each addition offers everything again; the bytes are
    // shared, not copied.
    auto *mimeData = new QMimeData;
    for (const auto &[type, bytes] : std::as_const(m_offered))
        mimeData->setData(type, bytes);
    return offer(mimeData);
}

bool QtPasteboard::setString(const QString &text)
{
    m_offered.clear();
    auto *mimeData = new QMimeData;
    mimeData->setText(text);
    return offer(mimeData);
}

QByteArray QtPasteboard::pngData(const QImage &image) const
{
    return PngEncoder::encode(image);
}

QByteArray QtPasteboard::tiffData(const QImage &image) const
{
    return TiffEncoder::encode(image);
}

bool QtPasteboard::offer(QMimeData *mimeData)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        delete mimeData;
        return false;
    }
    clipboard->setMimeData(mimeData);
    // The clipboard hands back our own data only while we own it: under xcb that is after the
    // X server made us the selection's owner.
    return clipboard->mimeData() == mimeData;
}

} // namespace platform
