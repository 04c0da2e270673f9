#include "tray/CaptureTrayView.h"

#include "capture/ElapsedTime.h"
#include "capture/ScreenRecording.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "tray/RecordingDot.h"
#include "tray/TrayActionButton.h"
#include "tray/TrayInformation.h"
#include "tray/TrayState.h"
#include "tray/TrayStripViewport.h"

#include <QEasingCurve>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

CaptureTrayView::CaptureTrayView(TrayState &state, CaptureQueue &queue, SettingsStore &settings,
                                 ScreenRecording *recorder, TrayNeighbours neighbours,
                                 TrayViewActions actions, QWidget *parent)
    : QWidget(parent), m_state(state), m_queue(queue), m_settings(settings), m_recorder(recorder),
      m_neighbours(neighbours), m_interactions(queue, neighbours, std::move(actions), &state)
{
    setAttribute(Qt::WA_NoSystemBackground);

    m_stripViewport = new TrayStripViewport(this);
    m_stripViewport->setObjectName(QStringLiteral("thumbnailStrip"));
    m_thumbnails =
        std::make_unique<TrayThumbnails>(queue, m_interactions, *this, *m_stripViewport->content);

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
    m_expandedDot->setScale(TrayBody::recordingScale);
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
    m_morph.setDuration(TrayState::morphSpring.durationMs());
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
    if (!m_content.displayed)
        return {TrayBody::emptyText()};
    QStringList lines{m_content.nameText, m_content.sizeText};
    lines << m_layout.statusLines;
    return lines;
}

QRectF CaptureTrayView::informationRect() const
{
    return m_layout.info;
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

void CaptureTrayView::setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler)
{
    m_interactions.setHoverScheduler(std::move(scheduler));
}

void CaptureTrayView::setDragRunner(DragRunner runner)
{
    m_thumbnails->setDragRunner(std::move(runner));
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
    return TrayBody::lerp(m_morphFrom, target, TrayState::morphSpring.valueForProgress(t));
}

TrayBody::Moment CaptureTrayView::moment() const
{
    return {progress(), m_compactOpacity, m_expandedOpacity};
}

QRectF CaptureTrayView::outlineRect() const
{
    return TrayBody::outline(m_layout, progress());
}

double CaptureTrayView::cornerRadius() const
{
    return TrayBody::cornerRadius(m_content, progress());
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
    TrayBody::Content &content = m_content;
    content.recording = isRecording();
    content.attached = m_state.hasNotch() && m_settings.trayPosition() == TrayPosition::notch;
    content.notchHeight = content.attached ? std::max(0.0, m_state.notchHeight()) : 0;
    content.count = int(items.size());
    content.displayed = m_queue.selectedItem();
    const std::optional<QUuid> selectedID = m_queue.selectedItemID();
    content.largeID.reset();
    if (selectedID) {
        if (queuedItem(m_queue, *selectedID))
            content.largeID = selectedID;
    } else if (!items.isEmpty()) {
        content.largeID = items.first().id();
    }
    content.visibleButtons = visibleTrayButtons();
    content.compactSize = m_state.visibleContentSize(TrayInteractionState::compact);
    content.expandedSize = m_state.visibleContentSize(TrayInteractionState::expanded);

    content.badgeText = QString::number(content.count);
    if (const std::optional<CaptureItem> &displayed = content.displayed) {
        content.nameText =
            QFontMetricsF(TrayInformation::nameFont())
                .elidedText(displayed->fileName(), Qt::ElideRight, TrayInformation::width);
        content.sizeText = tr("%1 × %2").arg(QString::number(displayed->pixelWidth()),
                                             QString::number(displayed->pixelHeight()));
        content.status = TrayInformation::status(*displayed, m_state.noticeAbout(displayed->id()),
                                                 m_state.isFailureAnswered(*displayed));
    } else {
        content.status.reset();
        content.nameText.clear();
        content.sizeText.clear();
    }
    content.elapsedText = formatElapsedTime(m_recorder ? m_recorder->duration() : 0);

    m_thumbnails->sync(items, content.largeID, content.displayed, color(m_settings.accentTheme()));
    computeLayout();
    placeFrame();
    update();
}

void CaptureTrayView::updateElapsed()
{
    m_content.elapsedText = formatElapsedTime(m_recorder ? m_recorder->duration() : 0);
    computeLayout();
    placeFrame();
    update();
}

void CaptureTrayView::computeLayout()
{
    m_content.position = m_settings.trayPosition();
    m_layout =
        TrayBody::layout(m_content, width(), m_stopButton->sizeHint(), m_cancelButton->sizeHint());
    const QList<CaptureItem> items = m_queue.items();
    const TrayThumbnails::StripPlacement strip =
        m_thumbnails->placeInStrip(items, m_content.largeID);
    m_largeInStrip = strip.large;
    m_stripViewport->setGeometry(m_layout.strip.toRect());
    m_stripViewport->setContentWidth(strip.contentWidth);
}

void CaptureTrayView::placeFrame()
{
    using namespace TrayBody;
    const Layout &layout = m_layout;

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
    const bool stripShown = expandedShown && !m_content.recording;
    m_stripViewport->setVisible(stripShown);
    const QList<TrayButtonID> cases = allCases<TrayButtonID>();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        TrayActionButton *button = m_buttons[size_t(i)];
        const qsizetype slot = m_content.visibleButtons.indexOf(cases[i]);
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
        const QPointF dot(layout.expandedRow->left() + RecordingDot::diameter / 2, centre.y());
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
    std::optional<QRectF> largeInView;
    if (m_largeInStrip) {
        largeInView = m_largeInStrip->translated(layout.strip.topLeft() -
                                                 QPointF(m_stripViewport->offset(), 0));
    }
    const bool paired = layout.compactThumbnail && largeInView && m_content.displayed &&
                        m_content.largeID == m_content.displayed->id();
    const bool atRestExpanded = m_expanded && !isMorphing();
    m_thumbnails->place(layout.compactThumbnail, largeInView, paired && !atRestExpanded, moment());
}

void CaptureTrayView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    TrayBody::paint(painter, rect(), m_state.isCompositing(), m_content, m_layout, moment());
}

bool CaptureTrayView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const TrayBody::Layout &layout = m_layout;
    if (m_content.status && layout.statusCut && m_expandedOpacity > 0 && !layout.expandedRow &&
        layout.info.contains(help->pos())) {
        QToolTip::showText(help->globalPos(), m_content.status->text, this, layout.info.toRect());
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
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
