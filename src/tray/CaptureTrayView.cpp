#include "tray/CaptureTrayView.h"

#include "capture/ElapsedTime.h"
#include "capture/ScreenRecording.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "tray/CaptureTrayItemView.h"
#include "tray/CaptureTrayItemViewPictures.h"
#include "tray/RecordingDot.h"
#include "tray/TrayActionButton.h"
#include "tray/TrayActionButtonStyle.h"
#include "tray/TrayControlLayout.h"
#include "tray/TrayInformation.h"
#include "tray/TrayState.h"
#include "tray/TrayStripViewport.h"

#include <QDrag>
#include <QEasingCurve>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

// ---- Layout

namespace {

constexpr double stripMaxWidth = 240;
constexpr double stripHeight = 60;
constexpr double stripPadding = 2;
constexpr double stripSpacing = 10;
constexpr double infoWidth = TrayInformation::width;
constexpr double infoSpacing = TrayInformation::spacing;
constexpr double buttonSpacing = 8;
constexpr double dotDiameter = RecordingDot::diameter;
constexpr double recordingScale = 1.2;

QFont badgeFont()
{
    return trayFont(12, QFont::DemiBold);
}
QFont elapsedFont(bool compact)
{
    return trayFont(compact ? 12 : 13, QFont::Bold, true);
}
QColor secondaryText()
{
    return QColor(255, 255, 255, 140);
}

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

QRectF lerp(const QRectF &a, const QRectF &b, double t)
{
    return QRectF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
                  lerp(a.height(), b.height(), t));
}

QRectF centredAt(double x, double centreY, QSizeF size)
{
    return QRectF(x, centreY - size.height() / 2, size.width(), size.height());
}

} // namespace

struct CaptureTrayView::Layout {
    QRectF compactFrame;
    QRectF expandedFrame;
    // The compact body.
    std::optional<QRectF> compactThumbnail;
    std::optional<QRectF> compactBadge;
    std::optional<QRectF> compactRow;
    // The expanded body.
    std::optional<QRectF> headerBadge;
    QRectF strip;
    QRectF info;
    QList<QRectF> buttons;
    std::optional<QRectF> expandedRow;
    QRectF stop;
    QRectF cancel;
    // Inside the strip's content.
    std::optional<QRectF> largeInStrip;
    // The displayed capture's status as the column shows it, and whether words were cut off.
    QStringList statusLines;
    bool statusCut = false;
};

// ---- The view

CaptureTrayView::CaptureTrayView(TrayState &state, CaptureQueue &queue, SettingsStore &settings,
                                 ScreenRecording *recorder, TrayNeighbours neighbours,
                                 TrayViewActions actions, QWidget *parent)
    : QWidget(parent), m_state(state), m_queue(queue), m_settings(settings), m_recorder(recorder),
      m_neighbours(neighbours), m_interactions(queue, neighbours, std::move(actions), &state),
      m_pictures(std::make_unique<TrayThumbnailCache>()), m_layout(std::make_unique<Layout>())
{
    setAttribute(Qt::WA_NoSystemBackground);

    m_stripViewport = new TrayStripViewport(this);
    m_stripViewport->setObjectName(QStringLiteral("thumbnailStrip"));
    m_stripContent = m_stripViewport->content;

    const QList<TrayButtonID> cases = allCases<TrayButtonID>();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const TrayButtonID id = cases[i];
        auto *button = new TrayActionButton(
            traySymbolName(id), [this, id] { performAction(id); }, this);
        button->setObjectName(QStringLiteral("trayButton.") + rawValue(id));
        m_buttons[size_t(i)] = button;
    }

    m_compactDot = new RecordingDot(this);
    m_expandedDot = new RecordingDot(this);
    m_expandedDot->setScale(recordingScale);
    m_stopButton = new TrayRecordingButton(TrayRecordingButton::Kind::stop, this);
    m_stopButton->setObjectName(QStringLiteral("stopRecording"));
    m_cancelButton = new TrayRecordingButton(TrayRecordingButton::Kind::cancel, this);
    m_cancelButton->setObjectName(QStringLiteral("cancelRecording"));
    connect(m_stopButton, &QAbstractButton::clicked, this,
            [this] { useRecordingControl(m_neighbours.stopRecording); });
    connect(m_cancelButton, &QAbstractButton::clicked, this,
            [this] { useRecordingControl(m_neighbours.cancelRecording); });

    m_morph.setStartValue(0.0);
    m_morph.setEndValue(1.0);
    m_morph.setDuration(TrayState::morphDurationMs);
    connect(&m_morph, &QVariantAnimation::valueChanged, this, [this] {
        placeFrame();
        update();
    });
    connect(&m_morph, &QVariantAnimation::finished, this, [this] {
        placeFrame();
        update();
    });

    const auto resync = [this] { sync(); };
    connect(&m_queue, &CaptureQueue::itemsChanged, this, resync);
    connect(&m_queue, &CaptureQueue::selectedItemIDChanged, this, resync);
    connect(&m_settings, &SettingsStore::trayPositionChanged, this, resync);
    connect(&m_settings, &SettingsStore::traySizeChanged, this, resync);
    connect(&m_settings, &SettingsStore::disabledTrayButtonsChanged, this, resync);
    connect(&m_settings, &SettingsStore::accentThemeChanged, this, resync);
    connect(&m_state, &TrayState::interactionStateChanged, this,
            &CaptureTrayView::interactionStateChanged);
    connect(&m_state, &TrayState::notchMetricsChanged, this, resync);
    connect(&m_state, &TrayState::appearanceChanged, this, resync);
    connect(&m_state, &TrayState::noticeChanged, this, resync);
    if (m_recorder) {
        connect(m_recorder, &ScreenRecording::isRecordingChanged, this, [this] {
            m_recordingControlUsed = false;
            sync();
        });
        connect(m_recorder, &ScreenRecording::durationChanged, this,
                &CaptureTrayView::updateElapsed);
    }

    m_expanded = m_state.interactionState() == TrayInteractionState::expanded;
    m_compactOpacity = m_expanded ? 0 : 1;
    m_expandedOpacity = m_expanded ? 1 : 0;
    sync();
}

CaptureTrayView::~CaptureTrayView() = default;

void CaptureTrayView::setActions(TrayViewActions actions)
{
    m_interactions.setActions(std::move(actions));
}

bool CaptureTrayView::ownsClick(QPoint position) const
{
    for (const TrayRecordingButton *button : {m_stopButton, m_cancelButton}) {
        if (button->isVisibleTo(this) && button->geometry().contains(position))
            return true;
    }
    return false;
}

QStringList CaptureTrayView::informationLines() const
{
    if (!m_displayed)
        return {tr("Staging Empty")};
    QStringList lines{m_nameText, m_sizeText};
    lines << m_layout->statusLines;
    return lines;
}

QRectF CaptureTrayView::informationRect() const
{
    return m_layout->info;
}

QList<TrayButtonID> CaptureTrayView::visibleTrayButtons() const
{
    return ::visibleTrayButtons(!m_queue.items().isEmpty(), m_settings.disabledTrayButtons());
}

void CaptureTrayView::performAction(TrayButtonID button)
{
    m_interactions.performAction(button);
}

void CaptureTrayView::handleThumbnailTap(const CaptureItem &item)
{
    m_interactions.handleThumbnailTap(item);
}

void CaptureTrayView::handleThumbnailHover(const CaptureItem &item, bool hovering)
{
    m_interactions.handleThumbnailHover(item, hovering);
}

QMimeData *CaptureTrayView::makeDragProvider(const CaptureItem &item)
{
    return m_interactions.makeDragProvider(item);
}

void CaptureTrayView::setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler)
{
    m_interactions.setHoverScheduler(std::move(scheduler));
}

void CaptureTrayView::setDragRunner(DragRunner runner)
{
    m_dragRunner = std::move(runner);
}

bool CaptureTrayView::isRecording() const
{
    return m_recorder && m_recorder->isRecording();
}

bool CaptureTrayView::isMorphing() const
{
    return m_morph.state() == QAbstractAnimation::Running;
}

double CaptureTrayView::progress() const
{
    const double target = m_expanded ? 1 : 0;
    if (!isMorphing())
        return target;
    const double t = double(m_morph.currentTime()) / m_morph.duration();
    return lerp(m_morphFrom, target, TrayState::morphEasing().valueForProgress(t));
}

QRectF CaptureTrayView::outlineRect() const
{
    return lerp(m_layout->compactFrame, m_layout->expandedFrame, progress());
}

double CaptureTrayView::cornerRadius() const
{
    return lerp(trayCornerRadius(m_compactSize.height(), m_attached, false),
                trayCornerRadius(m_expandedSize.height(), m_attached, true), progress());
}

void CaptureTrayView::interactionStateChanged()
{
    const bool expanded = m_state.interactionState() == TrayInteractionState::expanded;
    if (expanded != m_expanded) {
        m_morphFrom = progress();
        m_compactOpacityFrom = m_compactOpacity;
        m_expandedOpacityFrom = m_expandedOpacity;
        m_expanded = expanded;
        m_morph.stop();
        // Only the user's changes are animated, and only where the panel can blend; a hidden
        // tray or a shaped panel just takes its new shape.
        if (isVisible() && m_state.isStateChangeAnimated())
            m_morph.start();
        reportExpansion();
    }
    sync();
}

void CaptureTrayView::reportExpansion()
{
    m_state.reportExpansionProgress(m_expanded ? 1.0 : 0.0);
}

void CaptureTrayView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    reportExpansion();
}

void CaptureTrayView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    computeLayout();
    placeFrame();
}

void CaptureTrayView::sync()
{
    const QList<CaptureItem> items = m_queue.items();
    m_recording = isRecording();
    m_attached = m_state.hasNotch() && m_settings.trayPosition() == TrayPosition::notch;
    m_notchHeight = m_attached ? std::max(0.0, m_state.notchHeight()) : 0;
    m_count = int(items.size());
    m_displayed = m_queue.selectedItem();
    const std::optional<QUuid> selectedID = m_queue.selectedItemID();
    m_largeID.reset();
    if (selectedID) {
        if (queuedItem(m_queue, *selectedID))
            m_largeID = selectedID;
    } else if (!items.isEmpty()) {
        m_largeID = items.first().id();
    }
    m_visibleButtons = visibleTrayButtons();
    m_compactSize = m_state.visibleContentSize(TrayInteractionState::compact);
    m_expandedSize = m_state.visibleContentSize(TrayInteractionState::expanded);

    m_badgeText = QString::number(m_count);
    if (m_displayed) {
        m_nameText = QFontMetricsF(TrayInformation::nameFont())
                         .elidedText(m_displayed->fileName(), Qt::ElideRight, infoWidth);
        m_sizeText = tr("%1 × %2").arg(QString::number(m_displayed->pixelWidth()),
                                       QString::number(m_displayed->pixelHeight()));
        m_status = TrayInformation::status(*m_displayed, m_state.noticeAbout(m_displayed->id()));
    } else {
        m_status.reset();
        m_nameText.clear();
        m_sizeText.clear();
    }
    m_elapsedText = formatElapsedTime(m_recorder ? m_recorder->duration() : 0);

    syncThumbnails(items);
    computeLayout();
    placeFrame();
    update();
}

void CaptureTrayView::updateElapsed()
{
    m_elapsedText = formatElapsedTime(m_recorder ? m_recorder->duration() : 0);
    computeLayout();
    placeFrame();
    update();
}

void CaptureTrayView::connectThumbnail(TrayThumbnailButton *thumbnail)
{
    connect(thumbnail, &TrayThumbnailButton::hoverChanged, this, [this, thumbnail](bool hovering) {
        m_interactions.handleThumbnailHover(thumbnail->item(), hovering);
    });
    connect(thumbnail, &TrayThumbnailButton::dragStarted, this,
            [this, thumbnail] { startDrag(thumbnail); });
}

void CaptureTrayView::syncThumbnails(const QList<CaptureItem> &items)
{
    const QColor accent = color(m_settings.accentTheme());
    QSet<QUuid> live;
    QSet<QUuid> celled;
    for (const CaptureItem &item : items) {
        live.insert(item.id());
        if (item.id() == m_largeID) {
            if (!m_largeThumbnail) {
                m_largeThumbnail = new CaptureTrayThumbnail(item, *m_pictures, m_stripContent);
                m_largeThumbnail->setObjectName(QStringLiteral("largeThumbnail"));
                m_largeThumbnail->setMorph(1);
                connectThumbnail(m_largeThumbnail);
                connect(m_largeThumbnail, &QAbstractButton::clicked, this,
                        [this] { handleThumbnailTap(m_largeThumbnail->item()); });
            } else {
                m_largeThumbnail->setItem(item);
            }
            continue;
        }
        celled.insert(item.id());
        if (CaptureTrayItemView *cell = m_cells.value(item.id())) {
            cell->setItem(item);
            continue;
        }
        const QUuid id = item.id();
        auto *cell = new CaptureTrayItemView(
            item, false,
            [this, id] {
                if (const std::optional<CaptureItem> current = queuedItem(m_queue, id))
                    handleThumbnailTap(*current);
            },
            *m_pictures, m_stripContent);
        connectThumbnail(cell);
        m_cells.insert(id, cell);
    }
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        if (celled.contains(it.key())) {
            it.value()->setAccentColor(accent);
            ++it;
            continue;
        }
        retireCell(it.value());
        it = m_cells.erase(it);
    }
    if (m_displayed) {
        if (!m_morphThumbnail) {
            m_morphThumbnail = new CaptureTrayThumbnail(*m_displayed, *m_pictures, this);
            m_morphThumbnail->setObjectName(QStringLiteral("displayedThumbnail"));
            connectThumbnail(m_morphThumbnail);
            connect(m_morphThumbnail, &QAbstractButton::clicked, this,
                    [this] { handleThumbnailTap(m_morphThumbnail->item()); });
        } else {
            m_morphThumbnail->setItem(*m_displayed);
        }
    }
    for (CaptureTrayThumbnail *thumbnail : {m_largeThumbnail, m_morphThumbnail}) {
        if (thumbnail)
            thumbnail->setAccentColor(accent);
    }
    m_pictures->retain(live);
}

void CaptureTrayView::retireCell(CaptureTrayItemView *cell)
{
    cell->hide();
    // Deleting the source of a running drag would pull the drag from under the user.
    if (cell == m_dragSource) {
        m_retiredCells << cell;
        return;
    }
    cell->deleteLater();
}

void CaptureTrayView::computeLayout()
{
    Layout &layout = *m_layout;
    layout = Layout{};
    const double viewWidth = width();

    const QFontMetricsF badgeMetrics(badgeFont());
    const QSizeF badge(std::max(18.0, badgeMetrics.horizontalAdvance(m_badgeText)),
                       badgeMetrics.height());
    const auto rowSize = [this](bool compact) {
        const QFontMetricsF metrics(elapsedFont(compact));
        return QSizeF(dotDiameter + (compact ? 6 : 8) + metrics.horizontalAdvance(m_elapsedText),
                      std::max(dotDiameter, metrics.height()));
    };
    const bool hasItems = m_count > 0;

    // The compact body: the displayed capture (or the recording row) and the count.
    const double w = m_compactSize.width(), h = m_compactSize.height();
    const TrayPosition position = m_settings.trayPosition();
    const double cx = trayLeftInPanel(viewWidth, w, position);
    const double cy = h / 2;
    layout.compactFrame = QRectF(cx, 0, w, h);
    const QSizeF thumbnail = CaptureTrayThumbnail::frameSize(0);
    if (m_attached) {
        if (m_recording)
            layout.compactRow = centredAt(cx + 12, cy, rowSize(true));
        else if (m_displayed)
            layout.compactThumbnail = centredAt(cx + 10, cy, thumbnail);
        if (hasItems)
            layout.compactBadge = centredAt(cx + w - 10 - badge.width(), cy, badge);
    } else {
        double leading = 0;
        if (m_recording)
            leading = 12 + rowSize(true).width();
        else if (m_displayed)
            leading = thumbnail.width();
        const int parts = (leading > 0 ? 1 : 0) + (hasItems ? 1 : 0);
        const double total = 20 + leading + (hasItems ? badge.width() : 0) + (parts > 1 ? 8 : 0);
        double x = cx + (w - total) / 2 + 10;
        if (m_recording)
            layout.compactRow = centredAt(x + 12, cy, rowSize(true));
        else if (m_displayed)
            layout.compactThumbnail = centredAt(x, cy, thumbnail);
        if (leading > 0)
            x += leading + 8;
        if (hasItems)
            layout.compactBadge = centredAt(x, cy, badge);
    }

    // The expanded body: the header beside the notch, then the strip, the information and the
    // buttons, or the recording controls.
    const double W = m_expandedSize.width(), H = m_expandedSize.height();
    const double ex = trayLeftInPanel(viewWidth, W, position);
    const double top = std::min(m_notchHeight, H);
    layout.expandedFrame = QRectF(ex, 0, W, H);
    if (m_attached && hasItems)
        layout.headerBadge = centredAt(ex + W - 12 - badge.width(), top / 2, badge);
    const double ey = top + (H - top) / 2;
    if (m_recording) {
        layout.expandedRow = centredAt(ex + 24 + 12, ey, rowSize(false));
        const QSizeF cancel = m_cancelButton->sizeHint();
        const QSizeF stop = m_stopButton->sizeHint();
        layout.cancel = centredAt(ex + W - 24 - cancel.width(), ey, cancel);
        layout.stop = centredAt(layout.cancel.left() - 20 - stop.width(), ey, stop);
    } else {
        const int buttons = int(m_visibleButtons.size());
        const double buttonsWidth =
            buttons > 0 ? buttons * TrayActionButton::side + (buttons - 1) * buttonSpacing : 0;
        // The strip takes what the fixed parts leave, up to its limit and its content.
        const int cells = m_count - (m_largeID ? 1 : 0);
        const double content = 2 * stripPadding +
                               (m_largeID ? CaptureTrayThumbnail::frameSize(1).width() : 0) +
                               cells * CaptureTrayItemView::frameSize(false).width() +
                               std::max(m_count - 1, 0) * stripSpacing;
        const double fixed = 36 + infoWidth + 14 + (hasItems ? 14 + buttonsWidth : 0);
        const double strip =
            std::clamp(std::min(stripMaxWidth, content), 0.0, std::max(0.0, W - fixed));
        double x = ex + (W - (fixed + strip)) / 2 + 18;
        layout.strip = centredAt(x, ey, QSizeF(strip, stripHeight));
        x += strip + 14;
        double infoHeight = QFontMetricsF(TrayInformation::emptyFont()).height();
        if (m_displayed)
            infoHeight = QFontMetricsF(TrayInformation::nameFont()).height() + infoSpacing +
                         QFontMetricsF(TrayInformation::sizeFont()).height();
        if (m_status) {
            // As much of the text as the column holds; all of it when the pointer rests there.
            const QFont font = TrayInformation::statusFont();
            const int fitting = TrayInformation::statusLinesFitting(H - top);
            layout.statusLines =
                TrayInformation::wrappedLines(m_status->text, font, infoWidth, fitting);
            layout.statusCut =
                TrayInformation::wrappedLines(m_status->text, font, infoWidth, fitting + 1).size() >
                fitting;
            infoHeight += infoSpacing + layout.statusLines.size() * QFontMetricsF(font).height();
        }
        layout.info = centredAt(x, ey, QSizeF(infoWidth, infoHeight));
        x += infoWidth + 14;
        if (hasItems) {
            for (int i = 0; i < buttons; ++i) {
                layout.buttons << centredAt(x, ey,
                                            QSizeF(TrayActionButton::side, TrayActionButton::side));
                x += TrayActionButton::side + buttonSpacing;
            }
        }
    }

    // The strip's content, in queue order.
    double x = stripPadding;
    const double middle = stripHeight / 2;
    const QList<CaptureItem> items = m_queue.items();
    for (const CaptureItem &item : items) {
        if (item.id() == m_largeID && m_largeThumbnail) {
            const QRectF frame = centredAt(x, middle, CaptureTrayThumbnail::frameSize(1));
            layout.largeInStrip = frame;
            m_largeThumbnail->move((frame.topLeft() - QPointF(CaptureTrayThumbnail::borderRoom,
                                                              CaptureTrayThumbnail::borderRoom))
                                       .toPoint());
            x += frame.width() + stripSpacing;
        } else if (CaptureTrayItemView *cell = m_cells.value(item.id())) {
            const QRectF frame = centredAt(x, middle, CaptureTrayItemView::frameSize(false));
            const int room = CaptureTrayItemView::shadowRoom();
            cell->move((frame.topLeft() - QPointF(room, room)).toPoint());
            x += frame.width() + stripSpacing;
        }
    }
    m_stripViewport->setGeometry(layout.strip.toRect());
    m_stripViewport->setContentWidth(items.isEmpty() ? 2 * stripPadding
                                                     : x - stripSpacing + stripPadding);
}

void CaptureTrayView::placeFrame()
{
    const Layout &layout = *m_layout;
    const double p = progress();

    // The bodies cross-fade: the compact one goes out quickly, the expanded one comes in a
    // moment later; the reverse on the way back.
    if (!isMorphing()) {
        m_compactOpacity = m_expanded ? 0 : 1;
        m_expandedOpacity = m_expanded ? 1 : 0;
    } else {
        const double t = m_morph.currentTime();
        const double compactFade =
            QEasingCurve(QEasingCurve::OutQuad).valueForProgress(std::clamp(t / 100, 0.0, 1.0));
        const double expandedFade = QEasingCurve(QEasingCurve::InQuad)
                                        .valueForProgress(std::clamp((t - 100) / 120, 0.0, 1.0));
        if (m_expanded) {
            m_compactOpacity = m_compactOpacityFrom * (1 - compactFade);
            m_expandedOpacity = lerp(m_expandedOpacityFrom, 1, expandedFade);
        } else {
            m_compactOpacity = lerp(m_compactOpacityFrom, 1, compactFade);
            m_expandedOpacity = m_expandedOpacityFrom * (1 - expandedFade);
        }
    }
    const bool compactShown = m_compactOpacity > 0;
    const bool expandedShown = m_expandedOpacity > 0;

    // The compact recording row's dot.
    m_compactDot->setVisible(compactShown && layout.compactRow.has_value());
    if (layout.compactRow) {
        m_compactDot->move(centredAt(layout.compactRow->left(), layout.compactRow->center().y(),
                                     m_compactDot->size())
                               .topLeft()
                               .toPoint());
        m_compactDot->setContentOpacity(m_compactOpacity);
    }

    // The expanded body's controls.
    const bool stripShown = expandedShown && !m_recording;
    m_stripViewport->setVisible(stripShown);
    for (CaptureTrayItemView *cell : std::as_const(m_cells)) {
        cell->setVisible(true);
        cell->setContentOpacity(m_expandedOpacity);
    }
    const QList<TrayButtonID> cases = allCases<TrayButtonID>();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        TrayActionButton *button = m_buttons[size_t(i)];
        const qsizetype slot = m_visibleButtons.indexOf(cases[i]);
        const bool shown = stripShown && slot >= 0 && slot < layout.buttons.size();
        button->setVisible(shown);
        if (!shown)
            continue;
        const int margin = TrayActionButton::margin;
        button->move(layout.buttons[slot].topLeft().toPoint() - QPoint(margin, margin));
        button->setContentOpacity(m_expandedOpacity);
    }
    const bool recordingShown = expandedShown && layout.expandedRow.has_value();
    m_expandedDot->setVisible(recordingShown);
    m_stopButton->setVisible(recordingShown);
    m_cancelButton->setVisible(recordingShown);
    if (layout.expandedRow) {
        // The row is drawn 1.2 times its size about its centre.
        const QPointF centre = layout.expandedRow->center();
        const QPointF dot(layout.expandedRow->left() + dotDiameter / 2, centre.y());
        const QPointF scaled = centre + (dot - centre) * recordingScale;
        m_expandedDot->move(
            centredAt(scaled.x() - m_expandedDot->width() / 2.0, scaled.y(), m_expandedDot->size())
                .topLeft()
                .toPoint());
        m_expandedDot->setContentOpacity(m_expandedOpacity);
        m_stopButton->setGeometry(layout.stop.toRect());
        m_cancelButton->setGeometry(layout.cancel.toRect());
        m_stopButton->setContentOpacity(m_expandedOpacity);
        m_cancelButton->setContentOpacity(m_expandedOpacity);
    }

    // The displayed capture's thumbnail grows from the pill into the strip and back.
    const bool paired = layout.compactThumbnail && layout.largeInStrip && m_displayed &&
                        m_largeID == m_displayed->id();
    const bool atRestExpanded = m_expanded && !isMorphing();
    const int room = CaptureTrayThumbnail::borderRoom;
    if (m_largeThumbnail) {
        const bool inStrip = layout.largeInStrip.has_value() && !(paired && !atRestExpanded);
        m_largeThumbnail->setVisible(inStrip);
        m_largeThumbnail->setContentOpacity(m_expandedOpacity);
    }
    if (m_morphThumbnail) {
        QRectF frame;
        double opacity = 0;
        double morph = 0;
        if (paired && !atRestExpanded) {
            const QRectF large = layout.largeInStrip->translated(
                layout.strip.topLeft() - QPointF(m_stripViewport->offset(), 0));
            frame = lerp(*layout.compactThumbnail, large, p);
            morph = p;
            opacity = 1;
        } else if (layout.compactThumbnail) {
            frame = *layout.compactThumbnail;
            opacity = m_compactOpacity;
        }
        m_morphThumbnail->setVisible(opacity > 0);
        if (opacity > 0) {
            m_morphThumbnail->setMorph(morph);
            m_morphThumbnail->move(frame.topLeft().toPoint() - QPoint(room, room));
            m_morphThumbnail->setContentOpacity(opacity);
            m_morphThumbnail->raise();
        }
    }
}

void CaptureTrayView::paintOutline(QPainter &painter, double p) const
{
    // The outline with its shadow; the two states' shadows cross-fade.
    const QRectF outline = outlineRect();
    const double compactRadius = trayCornerRadius(m_compactSize.height(), m_attached, false);
    const double expandedRadius = trayCornerRadius(m_expandedSize.height(), m_attached, true);
    const QRectF shadowed = outline.translated(0, 6);
    if (p < 1) {
        painter.setOpacity(1 - p);
        paintRoundedShadow(painter, shadowed, compactRadius, m_attached, 6, QColor(0, 0, 0, 51));
    }
    if (p > 0) {
        painter.setOpacity(p);
        paintRoundedShadow(painter, shadowed, expandedRadius, m_attached, 14, QColor(0, 0, 0, 89));
    }
    painter.setOpacity(1);
    painter.fillPath(trayOutlinePath(outline, cornerRadius(), m_attached), Qt::black);
}

void CaptureTrayView::paintEvent(QPaintEvent *)
{
    const Layout &layout = *m_layout;
    const double p = progress();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Without a compositor the panel is cut to the outline and nothing can blend: black fills
    // the shape to its very edge, and a shadow could only show as a dark band.
    if (!m_state.isCompositing()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        paintOutline(painter, p);
    }

    // The count badge moves between the pill and the header beside the notch.
    std::optional<QRectF> badge;
    double badgeOpacity = 0;
    if (layout.compactBadge && layout.headerBadge) {
        badge = lerp(*layout.compactBadge, *layout.headerBadge, p);
        badgeOpacity = 1;
    } else if (layout.compactBadge) {
        badge = layout.compactBadge;
        badgeOpacity = m_compactOpacity;
    } else if (layout.headerBadge) {
        badge = layout.headerBadge;
        badgeOpacity = m_expandedOpacity;
    }
    if (badge && badgeOpacity > 0) {
        painter.setOpacity(badgeOpacity);
        painter.setFont(badgeFont());
        painter.setPen(QColor(255, 255, 255, 230));
        painter.drawText(*badge, Qt::AlignCenter, m_badgeText);
    }

    const auto drawElapsed = [&](const QRectF &row, bool compact) {
        const double gap = compact ? 6 : 8;
        painter.setFont(elapsedFont(compact));
        painter.setPen(Qt::white);
        painter.drawText(row.adjusted(dotDiameter + gap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         m_elapsedText);
    };
    if (layout.compactRow && m_compactOpacity > 0) {
        painter.setOpacity(m_compactOpacity);
        drawElapsed(*layout.compactRow, true);
    }
    if (m_expandedOpacity <= 0)
        return;
    painter.setOpacity(m_expandedOpacity);
    if (layout.expandedRow) {
        painter.save();
        const QPointF centre = layout.expandedRow->center();
        painter.translate(centre);
        painter.scale(recordingScale, recordingScale);
        painter.translate(-centre);
        drawElapsed(*layout.expandedRow, false);
        painter.restore();
        return;
    }
    // The information on the displayed capture.
    if (m_displayed) {
        const QFontMetricsF nameMetrics(TrayInformation::nameFont());
        painter.setFont(TrayInformation::nameFont());
        painter.setPen(Qt::white);
        painter.drawText(QRectF(layout.info.topLeft(), QSizeF(infoWidth, nameMetrics.height())),
                         Qt::AlignLeft | Qt::AlignVCenter, m_nameText);
        painter.setFont(TrayInformation::sizeFont());
        painter.setPen(secondaryText());
        const QRectF sizeLine(layout.info.left(),
                              layout.info.top() + nameMetrics.height() + infoSpacing, infoWidth,
                              QFontMetricsF(TrayInformation::sizeFont()).height());
        painter.drawText(sizeLine, Qt::AlignLeft | Qt::AlignVCenter, m_sizeText);
        if (m_status) {
            painter.setFont(TrayInformation::statusFont());
            painter.setPen(TrayInformation::statusColor(m_status->tone));
            const double lineHeight = QFontMetricsF(TrayInformation::statusFont()).height();
            double top = sizeLine.bottom() + infoSpacing;
            for (const QString &line : std::as_const(layout.statusLines)) {
                painter.drawText(QRectF(layout.info.left(), top, infoWidth, lineHeight),
                                 Qt::AlignLeft | Qt::AlignVCenter, line);
                top += lineHeight;
            }
        }
    } else {
        painter.setFont(TrayInformation::emptyFont());
        painter.setPen(secondaryText());
        painter.drawText(layout.info, Qt::AlignLeft | Qt::AlignVCenter, tr("Staging Empty"));
    }
}

bool CaptureTrayView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const Layout &layout = *m_layout;
    if (m_status && layout.statusCut && m_expandedOpacity > 0 && !layout.expandedRow &&
        layout.info.contains(help->pos())) {
        QToolTip::showText(help->globalPos(), m_status->text, this, layout.info.toRect());
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

void CaptureTrayView::startDrag(TrayThumbnailButton *source)
{
    const CaptureItem item = source->item();
    QPointer<QDrag> drag = new QDrag(source);
    drag->setMimeData(m_interactions.makeDragProvider(item));
    const QPixmap picture = source->dragPicture();
    drag->setPixmap(picture);
    const QSizeF shown = QSizeF(picture.size()) / picture.devicePixelRatio();
    drag->setHotSpot(QPoint(int(shown.width() / 2), int(shown.height() / 2)));
    QPointer<CaptureTrayView> self(this);
    m_dragSource = source;
    if (m_dragRunner)
        m_dragRunner(*drag);
    else
        drag->exec(Qt::CopyAction);
    if (drag)
        drag->deleteLater();
    if (!self)
        return;
    m_dragSource = nullptr;
    for (const QPointer<CaptureTrayItemView> &cell : std::exchange(m_retiredCells, {})) {
        if (cell)
            cell->deleteLater();
    }
}

void CaptureTrayView::useRecordingControl(const std::function<void()> &control)
{
    if (m_recordingControlUsed)
        return;
    m_recordingControlUsed = true;
    const std::function<void()> call = control;
    if (call)
        call();
}
