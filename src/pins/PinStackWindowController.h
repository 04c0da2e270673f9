#pragma once

#include "pins/PinActions.h"
#include "pins/PinItem.h"
#include "pins/PinStackContentView.h"
#include "pins/StackedMediaStack.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <memory>

class PinNotifications;
class SettingsStore;

namespace platform {
class Compositor;
class Displays;
class PanelWindows;
class WindowMove;
} // namespace platform

// What the deck needs of the desktop and the program. Any member may be empty: without
// displays the deck goes to an 800 × 600 area at the origin, without panels it is a plain
// window, without notifications removing a pin names no capture.
struct PinDeckServices {
    std::shared_ptr<platform::Displays> displays;
    std::shared_ptr<platform::PanelWindows> panels;
    std::shared_ptr<platform::Compositor> compositor;
    StackedMediaStack::MonitorFactory makePointerMonitor;
    PinActionServices actions;
    PinNotifications *notifications = nullptr;
};

// The pin deck: the list of pins (newest first; one identifier may occur more than once) and
// the panel that shows them in a corner of the display under the pointer. The panel is made
// on demand and dropped when the deck is closed or emptied; the controller stays for the next
// pin. Removing a pin through the deck posts "Corvanta.PinItemDeleted" for it first.
// Main thread only.
class PinStackWindowController : public QObject {
    Q_OBJECT

public:
    // The spring of the cards that stay closing up after one was removed through the deck.
    static constexpr platform::Spring closeUpSpring{0.3, 0.8};

    PinStackWindowController(SettingsStore &settings, PinDeckServices services,
                             QObject *parent = nullptr);
    ~PinStackWindowController() override;

    const QList<PinItemPtr> &items() const { return m_items; }
    SettingsStore &settings() const { return m_settings; }
    // The panel while there is one.
    QWidget *window() const;
    PinStackContentView *view() const { return m_panel; }

    // Puts the pin first without showing anything.
    void insertAtFront(const PinItemPtr &item);
    // Puts the pin first and shows the panel when there is none.
    void add(const PinItemPtr &item);
    // Makes the panel when there is none and raises it.
    void show();
    // Announces the pin's removal, takes every pin with its identifier off the deck and closes
    // the deck when it is empty.
    void remove(const PinItemPtr &item);
    void removeAll(const QUuid &id);
    // Puts the pin in place of every pin with its identifier, keeping their places.
    void replaceAll(const PinItemPtr &item);
    // Drops the panel and every pin, announcing nothing.
    void closeAll();

    // The deck's frame in screen coordinates, in the corner of the visible frame of the display
    // under the pointer, and the part of it the panel takes (held inside that visible frame).
    QRectF frame() const;
    QRectF windowFrame() const;
    // Puts the panel at windowFrame() again (for new settings or displays).
    void relayout();

    // The actions of a card, as its capsule and a click run them.
    void openItem(const PinItemPtr &item);
    void copyItem(const PinItemPtr &item);
    void saveItem(const PinItemPtr &item);

signals:
    void itemsChanged();

private:
    // Shows on the pin's card why an action on it failed.
    PinActions::Complaint complaintAbout(const PinItemPtr &item);
    QCoro::Task<void> copyAndClose(PinItemPtr item);
    QRectF visibleFrame() const;
    void setItems(QList<PinItemPtr> items,
                  std::optional<platform::Spring> animation = std::nullopt);
    void updateInputRegion();
    bool isCompositing() const;

    SettingsStore &m_settings;
    PinDeckServices m_services;
    PinActions m_actions;
    QList<PinItemPtr> m_items;
    QPointer<PinStackContentView> m_panel;
    // Moves the panel to its corner: shown, it glides there.
    std::unique_ptr<platform::WindowMove> m_move;
    // Panels closed whose deletion waits for the event loop.
    QList<QPointer<PinStackContentView>> m_closedPanels;
    // What the panel was last told to take input on.
    QRegion m_inputRegion;
    QList<QMetaObject::Connection> m_subscriptions;
};
