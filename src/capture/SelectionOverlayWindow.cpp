#include "capture/SelectionOverlayWindow.h"

#include "platform/Background.h"

#include <QBackingStore>
#include <QList>
#include <QPaintEngine>
#include <QPainter>
#include <QWindow>
#include <algorithm>

namespace {

// Rows per band when a display-sized image is worked on by several threads.
constexpr int bandRows = 64;

// Runs work(firstRow, rowCount) over the rows of an image in bands on the background threads,
// the calling thread taking part. For passes over a whole display: they are bound by memory and by
// the first touch of new pages, both of which go faster on several cores.
template <typename Work> void forEachBand(int height, Work work)
{
    platform::runInBands((height + bandRows - 1) / bandRows, [&](int band) {
        const int first = band * bandRows;
        work(first, std::min(bandRows, height - first));
    });
}

// An image over rows of another image's memory, for a painter of its own on one thread.
QImage rowsOf(const uchar *bits, qsizetype stride, QSize size, QImage::Format format, int first,
              int rows)
{
    return QImage(const_cast<uchar *>(bits) + first * stride, size.width(), rows, stride, format);
}

// Each channel of a premultiplied pixel times alpha / 255, rounded the way the raster paint
// engine rounds it, so that a blend done here gives its very pixels.
inline quint32 byteMultiply(quint32 pixel, quint32 alpha)
{
    quint32 redBlue = (pixel & 0xff00ff) * alpha;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    quint32 alphaGreen = ((pixel >> 8) & 0xff00ff) * alpha;
    alphaGreen = (alphaGreen + ((alphaGreen >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return alphaGreen | redBlue;
}

// Opaque pixels under the dim: what copying them and filling over them with the premultiplied
// dim colour gives, in one pass over the memory instead of two. Writes into the target's own
// memory, as the window holds it.
void dimRows(const QImage &source, const QImage &target, QRgb dim, int first, int rows)
{
    const quint32 keep = 255 - qAlpha(dim);
    auto *bits = const_cast<uchar *>(target.constBits());
    for (int y = first; y < first + rows; ++y) {
        const auto *from = reinterpret_cast<const quint32 *>(source.constScanLine(y));
        auto *to = reinterpret_cast<quint32 *>(bits + y * target.bytesPerLine());
        for (int x = 0; x < target.width(); ++x)
            to[x] = dim + byteMultiply(from[x], keep);
    }
}

} // namespace

SelectionBackdrop::SelectionBackdrop(OverlayBackground background, QImage frozenImage, double scale,
                                     double dimAlpha)
    : m_background(frozenImage.isNull() ? OverlayBackground::liveDesktop : background),
      m_frozenImage(std::move(frozenImage)), m_scale(scale > 0 ? scale : 1.0),
      m_dim(QColor::fromRgbF(0, 0, 0, float(dimAlpha)))
{
}

void SelectionBackdrop::paint(QPainter &painter, const QRegion &area,
                              const std::optional<QRectF> &undimmed) const
{
    QRegion fresh = area;
    if (!m_paintedAhead.isEmpty()) {
        // Only where the painter draws into the very memory painted ahead: a grab() of the view
        // draws elsewhere.
        const QPaintEngine *engine = painter.paintEngine();
        const QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
        if (device && device->devType() == QInternal::Image &&
            static_cast<const QImage *>(device)->constBits() == m_paintedAheadInto) {
            fresh -= m_paintedAhead;
            m_paintedAhead -= area;
        }
    }
    painter.save();
    // Every pixel is replaced, whatever the window held.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Rectangle by rectangle: a pointer move repaints a few strips, never the whole display.
    for (const QRect &rect : fresh) {
        if (m_background == OverlayBackground::liveDesktop) {
            painter.fillRect(rect, m_dim);
            continue;
        }
        drawFrozen(painter, rect);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.fillRect(rect, m_dim);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
    }
    if (undimmed) {
        painter.setClipRegion(area, Qt::IntersectClip);
        if (m_background == OverlayBackground::frozenImage)
            drawFrozen(painter, *undimmed);
        else
            painter.fillRect(*undimmed, Qt::transparent);
    }
    painter.restore();
}

bool SelectionBackdrop::paintAhead(QImage &target, const QRect &area) const
{
    if (m_background != OverlayBackground::frozenImage || target.size() != m_frozenImage.size())
        return false;
    m_paintedAhead = area;
    m_paintedAheadInto = target.constBits();
    // A display's frozen image is opaque RGB32, the window's memory RGB32 or premultiplied: the
    // blend is done here. Each band on a thread of its own, the pixels what paint() would give.
    const bool opaqueSource = m_frozenImage.format() == QImage::Format_RGB32;
    const bool blendable = target.format() == QImage::Format_RGB32 ||
                           target.format() == QImage::Format_ARGB32_Premultiplied;
    if (opaqueSource && blendable) {
        const QRgb dim = qPremultiply(m_dim.rgba());
        forEachBand(target.height(),
                    [&](int first, int rows) { dimRows(m_frozenImage, target, dim, first, rows); });
        return true;
    }
    forEachBand(target.height(), [&](int first, int rows) {
        QImage band = rowsOf(target.constBits(), target.bytesPerLine(), target.size(),
                             target.format(), first, rows);
        QPainter painter(&band);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0,
                          rowsOf(m_frozenImage.constBits(), m_frozenImage.bytesPerLine(),
                                 m_frozenImage.size(), m_frozenImage.format(), first, rows));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.fillRect(band.rect(), m_dim);
    });
    return true;
}

void SelectionBackdrop::drawFrozen(QPainter &painter, const QRectF &target) const
{
    const QRectF source(target.topLeft() * m_scale, target.size() * m_scale);
    painter.drawImage(target, m_frozenImage, source);
}

SelectionOverlayWindow::SelectionOverlayWindow(const platform::Display &display,
                                               std::shared_ptr<platform::OverlayWindows> overlays)
    : QWidget(nullptr, platform::OverlayWindows::windowFlags()), m_display(display),
      m_overlays(std::move(overlays))
{
    setAttribute(Qt::WA_NoSystemBackground);
}

SelectionOverlayWindow::~SelectionOverlayWindow() = default;

void SelectionOverlayWindow::setContentView(QWidget *view)
{
    delete m_contentView;
    m_contentView = view;
    if (!view)
        return;
    view->setParent(this);
    setFocusProxy(view);
}

template <typename Paint> void SelectionOverlayWindow::paintStore(const QRegion &area, Paint paint)
{
    QBackingStore *store = backingStore();
    if (!store)
        return;
    store->resize(size());
    store->beginPaint(area);
    QPaintDevice *device = store->paintDevice();
    if (device && device->devType() == QInternal::Image)
        paint(*static_cast<QImage *>(device));
    store->endPaint();
}

void SelectionOverlayWindow::prepare(bool translucent)
{
    makeWindow(translucent);
    if (QBackingStore *store = backingStore())
        store->resize(size());
}

void SelectionOverlayWindow::touchContentMemory()
{
    if (!m_preparedTranslucency)
        return;
    paintStore(QRegion(), [](QImage &image) {
        forEachBand(image.height(), [&](int first, int rows) {
            rowsOf(image.constBits(), image.bytesPerLine(), image.size(), image.format(), first,
                   rows)
                .fill(Qt::black);
        });
    });
}

void SelectionOverlayWindow::makeWindow(bool translucent)
{
    if (m_preparedTranslucency == translucent)
        return;
    // The translucency decides the window's visual, which is fixed once the window exists.
    if (m_preparedTranslucency)
        destroy();
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    const platform::OverlayPlacement placement = m_overlays->placement(m_display);
    if (placement.screen)
        setScreen(placement.screen);
    setGeometry(placement.geometry);
    if (m_contentView)
        m_contentView->setGeometry(QRect(QPoint(0, 0), placement.geometry.size()));
    create();
    m_preparedTranslucency = translucent;
}

void SelectionOverlayWindow::present(const SelectionBackdrop &backdrop)
{
    makeWindow(backdrop.isTranslucent());
    // An opaque window keeps its backing store's pixels until its first paint, which then only
    // adds the view's own drawing. (A translucent one is cleared first; its dimming is a fill.)
    if (!backdrop.isTranslucent() && m_contentView) {
        const QRect all(QPoint(0, 0), size());
        paintStore(all, [&](QImage &image) { backdrop.paintAhead(image, all); });
    }
    show();
    m_overlays->opened(windowHandle());
    if (m_contentView)
        m_contentView->setFocus(Qt::ActiveWindowFocusReason);
}

void SelectionOverlayWindow::dismiss()
{
    if (!isVisible())
        return;
    hide();
    m_overlays->closed(windowHandle());
}

void SelectionOverlayWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_contentView)
        m_contentView->setGeometry(rect());
}
