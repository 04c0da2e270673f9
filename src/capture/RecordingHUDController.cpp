#include "capture/RecordingHUDController.h"

#include "capture/RecordingHUDView.h"
#include "platform/PanelWindows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

RecordingHUDController::RecordingHUDController(ScreenRecording *recorder,
                                               std::shared_ptr<platform::PanelWindows> panels,
                                               QObject *parent)
    : QObject(parent), m_recorder(recorder), m_panels(std::move(panels))
{
    // What was recorded went away: the recording is about to end, and its panel goes first.
    if (recorder)
        connect(recorder, &ScreenRecording::streamEnded, this, &RecordingHUDController::hide);
}

RecordingHUDController::~RecordingHUDController()
{
    delete m_panel.data();
}

void RecordingHUDController::requestStop()
{
    // A copy: the callback may install a new one while it runs.
    if (const auto callback = onStopRequested)
        callback();
}

void RecordingHUDController::requestCancel()
{
    if (const auto callback = onCancelRequested)
        callback();
}

QPoint RecordingHUDController::panelOrigin(const QRect &screenGeometry)
{
    constexpr int marginAboveBottom = 60;
    return {screenGeometry.x() + screenGeometry.width() / 2 - panelWidth / 2,
            screenGeometry.y() + screenGeometry.height() - marginAboveBottom - panelHeight};
}

QWidget *RecordingHUDController::panel() const
{
    return m_panel.data();
}

void RecordingHUDController::show(const QString &modeLabel)
{
    if (!m_panel) {
        auto *panel = new QWidget(nullptr, platform::PanelWindows::windowFlags());
        panel->setAttribute(Qt::WA_TranslucentBackground);
        panel->setAttribute(Qt::WA_ShowWithoutActivating);
        panel->setFixedSize(panelWidth, panelHeight);

        // The buttons hold the controller weakly and run whatever callback is installed when
        // they are clicked, not the one installed when the panel was built.
        QPointer<RecordingHUDController> self(this);
        auto *view = new RecordingHUDView(
            modeLabel, m_recorder.data(),
            [self] {
                if (self)
                    self->requestStop();
            },
            [self] {
                if (self)
                    self->requestCancel();
            },
            panel);
        view->setGeometry(0, 0, panelWidth, panelHeight);
        // Shaped to the capsule, so that it looks the same with and without a compositor.
        panel->setMask(view->capsuleRegion());

        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen && !QGuiApplication::screens().isEmpty())
            screen = QGuiApplication::screens().constFirst();
        panel->move(screen ? panelOrigin(screen->geometry()) : QPoint(0, 0));

        if (m_panels)
            m_panels->prepare(panel, platform::PanelLevel::floating);
        m_panel = panel;
    }
    m_panel->show();
    m_panel->raise();
}

void RecordingHUDController::hide()
{
    if (!m_panel)
        return;
    m_panel->hide();
    // Later: a click on the panel's own buttons may lead here while the click is still being
    // delivered to them.
    m_panel->deleteLater();
    m_panel = nullptr;
}
