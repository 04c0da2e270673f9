#pragma once

#include "app/MenuModel.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class AppEnvironment;
class QMenu;

// The tray icon's menu: the entries of MenuModel for the current scheme, staged captures and
// recording state, rebuilt whenever one of them changes, each handing off to the coordinator,
// the queue or the application. Keeps no state of its own.
class CorvantaMenuView final : public QObject {
    Q_OBJECT

public:
    explicit CorvantaMenuView(AppEnvironment &environment, QObject *parent = nullptr);
    ~CorvantaMenuView() override;

    // What "Settings..." opens; nothing until the application hands it over.
    void setShowSettings(std::function<void()> showSettings)
    {
        m_showSettings = std::move(showSettings);
    }

    QMenu *menu() const { return m_menu.get(); }
    // The entries the menu shows now.
    QList<MenuItem> items() const { return m_items; }

    // What choosing an entry does. Captures and recording start after the current event-loop
    // turn, so that the menu is gone before an overlay shows.
    void perform(MenuCommand command);

private:
    void rebuild();

    QPointer<AppEnvironment> m_environment;
    std::unique_ptr<QMenu> m_menu;
    QList<MenuItem> m_items;
    std::function<void()> m_showSettings;
};
