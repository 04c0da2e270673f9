#include "pins/PinStackWindowController.h"

#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "pins/PinGeometry.h"
#include "pins/PinStackContentView.h"
#include "platform/Compositor.h"
#include "platform/Displays.h"
#include "platform/PanelWindows.h"
#include "platform/WindowMove.h"

#include <QRegion>

PinStackWindowController::PinStackWindowController(SettingsStore &settings,
                                                   PinDeckServices services, QObject *parent)
    : QObject(parent), m_settings(settings), m_services(std::move(services)),
      m_actions(m_services.actions)
{
    // Settings arrive after they are stored; the deck follows them in a turn of its own.
    const auto relayoutLater = [this] {
        QMetaObject::invokeMethod(this, &PinStackWindowController::relayout, Qt::QueuedConnection);
    };
    m_subscriptions << connect(&m_settings, &SettingsStore::pinPlacementChanged, this,
                               relayoutLater);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinPaddingChanged, this, relayoutLater);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinTargetDisplayChanged, this,
                               relayoutLater);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinSizeChanged, this, relayoutLater);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinAutoCloseDelayChanged, this,
                               relayoutLater);
    const auto redraw = [this] {
        if (m_panel)
            m_panel->applySettings();
    };
    m_subscriptions << connect(&m_settings, &SettingsStore::pinDefaultOpacityChanged, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinDefaultGhostModeChanged, this,
                               redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinBorderColorChanged, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinBorderWidthChanged, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinCornerRadiusChanged, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::accentThemeChanged, this, redraw);
    if (m_services.displays)
        m_subscriptions << connect(m_services.displays.get(), &platform::Displays::displaysChanged,
                                   this, relayoutLater);
    // A compositor that comes or goes changes whether the panel can be see-through.
    if (m_services.compositor)
        m_subscriptions << connect(m_services.compositor.get(),
                                   &platform::Compositor::compositingChanged, this,
                                   &PinStackWindowController::updateInputRegion);
}

PinStackWindowController::~PinStackWindowController()
{
    for (const QMetaObject::Connection &subscription : std::as_const(m_subscriptions))
        disconnect(subscription);
    delete m_panel.data();
    // A closed panel still has drawing queued that reads the settings, which may go right after
    // the deck.
    for (const QPointer<PinStackContentView> &panel : std::as_const(m_closedPanels))
        delete panel.data();
}

QWidget *PinStackWindowController::window() const
{
    return m_panel.data();
}

void PinStackWindowController::setItems(QList<PinItemPtr> items,
                                        std::optional<platform::Spring> animation)
{
    m_items = std::move(items);
    if (m_panel)
        m_panel->setItems(m_items, animation);
    emit itemsChanged();
}

void PinStackWindowController::insertAtFront(const PinItemPtr &item)
{
    if (!item)
        return;
    QList<PinItemPtr> items = m_items;
    items.prepend(item);
    setItems(std::move(items));
}

void PinStackWindowController::add(const PinItemPtr &item)
{
    insertAtFront(item);
    if (!m_panel)
        show();
}

bool PinStackWindowController::isCompositing() const
{
    return m_services.compositor && m_services.compositor->isCompositing();
}

void PinStackWindowController::show()
{
    if (!m_panel) {
        PinDeckActions actions{
            .open = [this](const PinItemPtr &item) { openItem(item); },
            .copy = [this](const PinItemPtr &item) { copyItem(item); },
            .save = [this](const PinItemPtr &item) { saveItem(item); },
            .remove = [this](const PinItemPtr &item) { remove(item); },
        };
        auto *panel =
            new PinStackContentView(m_settings, std::move(actions), m_services.makePointerMonitor);
        panel->setWindowFlags(platform::PanelWindows::windowFlags());
        panel->setAttribute(Qt::WA_ShowWithoutActivating);
        panel->setWindowTitle(QStringLiteral("Corvanta Pins"));
        if (m_services.panels)
            m_services.panels->prepare(panel, platform::PanelLevel::floating);
        m_panel = panel;
        m_move = std::make_unique<platform::WindowMove>(panel);
        m_inputRegion = QRegion();
        connect(panel, &PinStackContentView::pileRectChanged, this,
                &PinStackWindowController::updateInputRegion);
        // Without a compositor the cut follows the cards through every frame of a motion.
        connect(&panel->stack(), &StackedMediaStack::framePainted, this, [this] {
            if (!isCompositing())
                updateInputRegion();
        });
        panel->setItems(m_items);
        relayout();
    }
    m_panel->show();
    if (m_services.panels)
        m_services.panels->orderFront(m_panel);
    else
        m_panel->raise();
    updateInputRegion();
}

void PinStackWindowController::remove(const PinItemPtr &item)
{
    if (!item)
        return;
    // Held: the deck's reference may be the last.
    const PinItemPtr kept = item;
    if (m_services.notifications)
        m_services.notifications->postPinItemDeleted(kept->id());
    removeAll(kept->id());
    if (m_items.isEmpty())
        closeAll();
}

void PinStackWindowController::removeAll(const QUuid &id)
{
    QList<PinItemPtr> items;
    for (const PinItemPtr &item : std::as_const(m_items)) {
        if (item->id() != id)
            items.append(item);
    }
    // The cards that stay close up on a spring of their own.
    if (items.size() != m_items.size())
        setItems(std::move(items), closeUpSpring);
}

void PinStackWindowController::replaceAll(const PinItemPtr &item)
{
    if (!item)
        return;
    QList<PinItemPtr> items = m_items;
    bool replaced = false;
    for (PinItemPtr &entry : items) {
        if (entry->id() == item->id()) {
            entry = item;
            replaced = true;
        }
    }
    if (replaced)
        setItems(std::move(items));
}

void PinStackWindowController::closeAll()
{
    if (m_panel) {
        // The panel may be the sender of the click that closes it.
        PinStackContentView *panel = m_panel;
        m_panel.clear();
        m_move.reset();
        panel->hide();
        panel->deleteLater();
        m_closedPanels.removeAll(nullptr);
        m_closedPanels.append(panel);
    }
    if (!m_items.isEmpty())
        setItems({});
}

QRectF PinStackWindowController::visibleFrame() const
{
    std::optional<QRectF> visible;
    if (m_services.displays) {
        if (const std::optional<platform::Display> display =
                m_services.displays->displayUnderPointer()) {
            visible = m_services.panels ? m_services.panels->visibleFrame(*display) : std::nullopt;
            if (!visible)
                visible = display->screenFrame;
        }
    }
    return PinGeometry::visibleFrameOr800x600(visible);
}

QRectF PinStackWindowController::frame() const
{
    const QRectF visible = visibleFrame();
    const double padding =
        PinGeometry::paddingWithin(usablePinPadding(m_settings.pinPadding()), visible);
    return PinGeometry::deckFrame(visible, usablePinSize(m_settings.pinSize()), padding,
                                  m_settings.pinPlacement());
}

QRectF PinStackWindowController::windowFrame() const
{
    return PinGeometry::deckWindowFrame(frame(), visibleFrame(), m_settings.pinPlacement());
}

void PinStackWindowController::relayout()
{
    if (!m_panel)
        return;
    const QList<platform::Display> displays =
        m_services.displays ? m_services.displays->displays() : QList<platform::Display>();
    m_panel->applySettings();
    m_move->moveTo(PinGeometry::qtGeometry(windowFrame(), displays), true);
    updateInputRegion();
}

void PinStackWindowController::updateInputRegion()
{
    if (!m_panel)
        return;
    const QRegion pile(m_panel->stack().pileRect().toAlignedRect());
    if (m_services.panels && pile != m_inputRegion) {
        m_inputRegion = pile;
        m_services.panels->setInputRegion(m_panel, pile);
    }
    // Without a compositor the panel cannot be see-through: it is cut to the cards, which cast
    // no shadow there.
    const bool compositing = isCompositing();
    m_panel->stack().setShadows(compositing);
    if (!compositing) {
        QRegion shape = m_panel->stack().drawnShape();
        if (shape.isEmpty())
            shape = QRegion(0, 0, 1, 1);
        if (shape != m_panel->mask())
            m_panel->setMask(shape);
    } else if (!m_panel->mask().isEmpty()) {
        m_panel->clearMask();
    }
}

PinActions::Complaint PinStackWindowController::complaintAbout(const PinItemPtr &item)
{
    // The deck may be closed, and its panel gone, before a copy or save ends.
    return [panel = QPointer<PinStackContentView>(m_panel), id = item->id()](const QString &text) {
        if (panel)
            panel->showNotice(id, text);
    };
}

void PinStackWindowController::openItem(const PinItemPtr &item)
{
    // The task runs on by itself; its frame holds what it needs.
    if (item)
        startTask(m_actions.open(item, complaintAbout(item)));
}

void PinStackWindowController::copyItem(const PinItemPtr &item)
{
    if (item)
        startTask(copyAndClose(item));
}

QCoro::Task<void> PinStackWindowController::copyAndClose(PinItemPtr item)
{
    const QPointer<PinStackWindowController> self(this);
    // Runs on by itself when the clipboard has to read the capture's file first.
    QCoro::Task<bool> copying = m_actions.copy(item, complaintAbout(item));
    const bool copied = co_await copying;
    // Only a pin that is on the clipboard leaves the deck.
    if (copied && self && m_settings.pinCloseOnCopy() && m_items.contains(item))
        remove(item);
}

void PinStackWindowController::saveItem(const PinItemPtr &item)
{
    // The task runs on by itself; its frame holds what it needs.
    if (item)
        startTask(m_actions.saveAs(item, m_panel, complaintAbout(item)));
}
