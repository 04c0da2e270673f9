#include "app/CorvantaMenuView.h"

#include "app/AppEnvironment.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>

CorvantaMenuView::CorvantaMenuView(AppEnvironment &environment, QObject *parent)
    : QObject(parent), m_environment(&environment), m_menu(std::make_unique<QMenu>())
{
    connect(&environment.queue(), &CaptureQueue::itemsChanged, this, &CorvantaMenuView::rebuild);
    connect(&environment.captureCoordinator(), &CaptureCoordinator::isRecordingChanged, this,
            &CorvantaMenuView::rebuild);
    connect(&environment.settingsStore(), &SettingsStore::shortcutSchemeChanged, this,
            &CorvantaMenuView::rebuild);
    rebuild();
}

CorvantaMenuView::~CorvantaMenuView() = default;

void CorvantaMenuView::rebuild()
{
    if (!m_environment)
        return;
    m_items = MenuModel::items(m_environment->settingsStore().shortcutScheme(),
                               m_environment->queue().items().size(),
                               m_environment->captureCoordinator().isRecording());
    m_menu->clear();
    for (const MenuItem &item : std::as_const(m_items)) {
        if (item.isSeparator) {
            m_menu->addSeparator();
            continue;
        }
        QAction *action = m_menu->addAction(item.title);
        action->setEnabled(item.enabled);
        connect(action, &QAction::triggered, this,
                [this, command = item.command] { perform(command); });
    }
}

void CorvantaMenuView::perform(MenuCommand command)
{
    AppEnvironment *environment = m_environment;
    if (environment == nullptr)
        return;
    // Runs the step after this turn, when the menu has gone, if the environment is still there.
    const auto afterThisTurn = [this, later = QPointer<AppEnvironment>(environment)](
                                   std::function<void(AppEnvironment &)> step) {
        QTimer::singleShot(0, this, [later, step] {
            if (later)
                step(*later);
        });
    };
    const auto capture = [](AppEnvironment::CaptureFlow flow) {
        return [flow](AppEnvironment &env) { env.startCapture(flow); };
    };
    switch (command) {
    case MenuCommand::captureFullScreen:
        afterThisTurn(capture(&CaptureCoordinator::captureFullDisplay));
        break;
    case MenuCommand::captureArea:
        afterThisTurn(capture(&CaptureCoordinator::captureArea));
        break;
    case MenuCommand::captureWindow:
        afterThisTurn(capture(&CaptureCoordinator::captureWindow));
        break;
    case MenuCommand::toggleScreenRecording:
        afterThisTurn([](AppEnvironment &env) { env.toggleScreenRecording(); });
        break;
    case MenuCommand::toggleTray:
        environment->captureCoordinator().toggleTray();
        break;
    case MenuCommand::clearAllPendingItems:
        environment->queue().clearAll();
        break;
    case MenuCommand::showSettings:
        if (m_showSettings)
            m_showSettings();
        break;
    case MenuCommand::quit:
        QCoreApplication::quit();
        break;
    case MenuCommand::none:
        break;
    }
}
