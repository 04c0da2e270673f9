#include "windows/ShortcutRecorder.h"

#include "windows/KeyDownMonitor.h"
#include "windows/ShortcutCustomPicker.h"
#include "windows/ShortcutRecorderControls.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <utility>

void RecordingIDBinding::setRecordingID(const QString &recordingID)
{
    if (m_recordingID == recordingID)
        return;
    m_recordingID = recordingID;
    emit recordingIDChanged();
}

ShortcutRecorderButton::ShortcutRecorderButton(QString id, ShortcutData shortcut,
                                               RecordingIDBinding *recordingID, SaveAction onSave,
                                               ResetAction onReset, QWidget *parent)
    : QWidget(parent), m_id(std::move(id)), m_shortcut(std::move(shortcut)),
      m_recordingID(recordingID), m_onSave(std::move(onSave)), m_onReset(std::move(onReset)),
      m_monitor(nullptr, &KeyDownMonitor::remove)
{
    m_recorderButton = new RecorderLabelButton(this);
    m_recorderButton->setObjectName(QStringLiteral("recorderButton"));
    m_recorderButton->setShortcut(m_shortcut);

    m_customizeButton = new RecorderSymbolButton(QStringLiteral("\u2630"), 12, 0.06, this);
    m_customizeButton->setObjectName(QStringLiteral("customizeButton"));
    m_customizeButton->setToolTip(QStringLiteral("Customize modifiers and key manually"));

    m_resetButton = new RecorderSymbolButton(QStringLiteral("\u21ba"), 11, 0.04, this);
    m_resetButton->setObjectName(QStringLiteral("resetButton"));
    m_resetButton->setToolTip(QStringLiteral("Reset to default"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    for (QWidget *button :
         std::initializer_list<QWidget *>{m_recorderButton, m_customizeButton, m_resetButton})
        row->addWidget(button, 0, Qt::AlignVCenter);

    connect(m_recorderButton, &QAbstractButton::clicked, this, [this] {
        if (isRecording())
            stopRecording();
        else
            startRecording();
    });
    connect(m_customizeButton, &QAbstractButton::clicked, this,
            [this] { setShowingCustomPicker(!m_showingCustomPicker); });
    connect(m_resetButton, &QAbstractButton::clicked, this, [this] {
        if (m_onReset)
            m_onReset();
    });
    if (m_recordingID) {
        connect(m_recordingID, &RecordingIDBinding::recordingIDChanged, this,
                &ShortcutRecorderButton::recordingIDChanged);
    }
    updateLook();
}

ShortcutRecorderButton::~ShortcutRecorderButton()
{
    stopRecording();
    // An open panel closes with the button; its hiding must not call back into it.
    m_showingCustomPicker = false;
    delete std::exchange(m_customPicker, nullptr);
}

void ShortcutRecorderButton::setShortcut(const ShortcutData &shortcut)
{
    m_shortcut = shortcut;
    m_recorderButton->setShortcut(shortcut);
}

bool ShortcutRecorderButton::isRecording() const
{
    return m_recordingID && m_recordingID->recordingID() == m_id;
}

void ShortcutRecorderButton::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    stopRecording();
}

void ShortcutRecorderButton::startRecording()
{
    if (m_recordingID)
        m_recordingID->setRecordingID(m_id);
    removeMonitor();
    m_monitor.reset(
        new KeyDownMonitor([this](QKeyEvent *event) { return handleRecordedKey(event); }));
    updateLook();
}

void ShortcutRecorderButton::stopRecording()
{
    if (isRecording())
        m_recordingID->setRecordingID(QString());
    removeMonitor();
    updateLook();
}

void ShortcutRecorderButton::removeMonitor()
{
    m_monitor.reset();
}

bool ShortcutRecorderButton::handleRecordedKey(QKeyEvent *event)
{
    // A recorder whose recording another one took over has no say in the key.
    if (!isRecording()) {
        removeMonitor();
        return false;
    }
    if (KeyDownMonitor::isEscape(*event)) {
        stopRecording();
        return true;
    }
    const auto shortcut = ShortcutData::from(*event);
    if (!shortcut)
        return true;
    const QPointer<ShortcutRecorderButton> self(this);
    if (m_onSave)
        m_onSave(*shortcut);
    // The host may have removed this control while saving.
    if (self)
        stopRecording();
    return true;
}

void ShortcutRecorderButton::recordingIDChanged()
{
    // Another recorder took over: this one's monitor must not catch the keys meant for it.
    if (!isRecording())
        removeMonitor();
    updateLook();
}

void ShortcutRecorderButton::updateLook()
{
    m_recorderButton->setRecording(isRecording());
    m_customizeButton->setHighlighted(m_showingCustomPicker);
}

void ShortcutRecorderButton::setShowingCustomPicker(bool showing)
{
    if (m_showingCustomPicker == showing)
        return;
    m_showingCustomPicker = showing;
    updateLook();
    if (!showing) {
        if (m_customPicker && m_customPicker->isVisible())
            m_customPicker->hide();
        return;
    }
    if (!m_customPicker) {
        m_customPicker = new ShortcutCustomPicker(
            [this](const ShortcutData &shortcut) {
                if (m_onSave)
                    m_onSave(shortcut);
                setShowingCustomPicker(false);
            },
            [this] { setShowingCustomPicker(false); }, this);
    }
    m_customPicker->showBeside(*m_customizeButton);
}
