#pragma once

#include "model/ShortcutModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class KeyDownMonitor;
class QKeyEvent;
class RecorderLabelButton;
class RecorderSymbolButton;
class ShortcutCustomPicker;

// Names the recorder that is recording among the recorders of one page; owned by their host,
// so that at most one of them shows the recording state. Empty: none records.
class RecordingIDBinding : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString recordingID READ recordingID WRITE setRecordingID NOTIFY recordingIDChanged)

public:
    using QObject::QObject;

    QString recordingID() const { return m_recordingID; }
    void setRecordingID(const QString &recordingID);

signals:
    void recordingIDChanged();

private:
    QString m_recordingID;
};

// The control with which the user changes one shortcut: a button that shows the combination
// and, once clicked, records the next key pressed with a modifier; a button that opens a small
// panel to pick modifiers and key by hand; and a button that resets the shortcut. It neither
// stores nor registers anything: new values go to `onSave`, the reset to `onReset`.
class ShortcutRecorderButton : public QWidget {
    Q_OBJECT

public:
    using SaveAction = std::function<void(const ShortcutData &)>;
    using ResetAction = std::function<void()>;

    // `id` must be unique among the recorders sharing `recordingID` and not empty.
    ShortcutRecorderButton(QString id, ShortcutData shortcut, RecordingIDBinding *recordingID,
                           SaveAction onSave, ResetAction onReset, QWidget *parent = nullptr);
    ~ShortcutRecorderButton() override;

    QString id() const { return m_id; }
    QString displayString() const { return m_shortcut.displayString; }
    // The host shows the stored shortcut again after a save or reset.
    void setShortcut(const ShortcutData &shortcut);

    // Whether the shared value names this recorder.
    bool isRecording() const;
    bool isShowingCustomPicker() const { return m_showingCustomPicker; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void startRecording();
    void stopRecording();
    void removeMonitor();
    // Always consumes the key: while recording, no key-down reaches the windows.
    bool handleRecordedKey(QKeyEvent *event);
    void setShowingCustomPicker(bool showing);
    void recordingIDChanged();
    void updateLook();

    QString m_id;
    ShortcutData m_shortcut;
    QPointer<RecordingIDBinding> m_recordingID;
    SaveAction m_onSave;
    ResetAction m_onReset;

    std::unique_ptr<KeyDownMonitor, void (*)(KeyDownMonitor *)> m_monitor;
    bool m_showingCustomPicker = false;

    RecorderLabelButton *m_recorderButton = nullptr;
    RecorderSymbolButton *m_customizeButton = nullptr;
    RecorderSymbolButton *m_resetButton = nullptr;
    // Made when first opened and kept, with the user's last choices, as long as the control.
    ShortcutCustomPicker *m_customPicker = nullptr;
};
