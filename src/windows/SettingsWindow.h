#pragma once

#include "windows/WindowServices.h"

#include <QWidget>

class QTabWidget;

// The separate preferences window opened from the tray menu: fixed 720 × 640, titled "Settings",
// holding the tabs Workflow, Appearance, Shortcuts, General and Pins in a 520 × 500 frame.
// Closing it only hides it; each showing centres it again and refreshes the screen-capture
// permission and the login item's state.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 720;
    static constexpr int height = 640;

    explicit SettingsWindow(const WindowServices &services, QWidget *parent = nullptr);

    // Centres the window on the screen under the pointer, shows it and makes it active.
    void present();
    QTabWidget *tabs() const { return m_tabs; }

    // The auto-dismiss choices: label and seconds, in menu order.
    static const QList<QPair<QString, double>> &autoDismissOptions();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeWorkflowTab();
    QWidget *makeAppearanceTab();
    QWidget *makeShortcutsTab();
    QWidget *makeGeneralTab();

    WindowServices m_services;
    QTabWidget *m_tabs = nullptr;
};
