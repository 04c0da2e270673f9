#pragma once

#include "windows/AccentButton.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

class AccountPage;
class QStackedWidget;
class RecordingIDBinding;
class SettingsStore;

// The tabs of the main window's sidebar, in their order.
enum class SidebarTab { dashboard, hotkeys, staging, appearance, account, pins, about };

namespace Sidebar {
QList<SidebarTab> tabs();
QString title(SidebarTab tab);
// The symbol drawn beside the title.
QString icon(SidebarTab tab);
// Exactly one of the seven titles; anything else is none.
std::optional<SidebarTab> tabFromTitle(const QString &title);
// Account while nobody is signed in, the Dashboard otherwise.
SidebarTab initialTab(bool signedIn);
// What the footer says about the tray: a hardware notch or the floating one.
QString notchStatus(bool hasNotch);
} // namespace Sidebar

// One row of the sidebar: the tab's symbol and title, tinted when selected.
class SidebarRow : public AccentButton {
    Q_OBJECT

public:
    explicit SidebarRow(SidebarTab tab, QWidget *parent = nullptr);
    SidebarTab tab() const { return m_tab; }
    QColor symbolColor() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SidebarTab m_tab;
};

// A window's size when it first opens: the size it wishes, made small enough for its frame to
// fit in the work area of its screen, but never below its least size.
QSize fittedFirstSize(QSize wished, QSize least, QRect workArea, QMargins frame);

// The main window, titled "Corvanta" (no other window of the program carries that title: the
// capture coordinator finds it by it): a sidebar of seven tabs beside the selected tab's page.
// The first tab follows the sign-in state once the stored session has been read; the selection
// then stays while the window lives. Hidden and shown again, it opens where it was.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char *title = "Corvanta";
    static constexpr int defaultWidth = 980;
    static constexpr int defaultHeight = 640;

    explicit MainWindow(const WindowServices &services, QWidget *parent = nullptr);
    ~MainWindow() override;

    SidebarTab selectedTab() const { return m_selectedTab; }
    // Shows the tab's page; from then on the tab stays until another is picked.
    void selectTab(SidebarTab tab);
    QWidget *page(SidebarTab tab) const;
    SidebarRow *row(SidebarTab tab) const;
    // Shows the window, or brings it forward when it is already shown.
    void present();

protected:
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void showTab(SidebarTab tab);
    void fadeIn(QWidget *page);
    // Makes the window small enough for the work area of its screen, and, when asked, moves it
    // into it.
    void fitToWorkArea(bool moveIn);

    WindowServices m_services;
    SidebarTab m_selectedTab;
    RecordingIDBinding *m_recordingID = nullptr;
    QStackedWidget *m_pages = nullptr;
    QList<SidebarRow *> m_rows;
    QList<QWidget *> m_pageWidgets;
    AccountPage *m_accountPage = nullptr;
    // Set once a tab is picked; the restored session then no longer chooses one.
    bool m_tabChosen = false;
    // Where the window was when it was last hidden; it opens there again.
    std::optional<QPoint> m_lastPosition;
    // Once shown, the window keeps the size the user gives it.
    bool m_sized = false;
    // First shown, the window is not framed yet: its size left no room for a frame.
    bool m_framePending = false;
};
