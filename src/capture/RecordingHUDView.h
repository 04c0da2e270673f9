#pragma once

#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QMouseEvent;
class QPaintEvent;
class QShowEvent;
class QAbstractAnimation;
class ScreenRecording;

// The recording panel's content: a capsule with a blinking red dot, the elapsed time of the
// recorder, the mode label, a red "Finish" button and a close button. Dragging its background
// moves the window it sits in.
class RecordingHUDView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal dotOpacity READ dotOpacity WRITE setDotOpacity)

public:
    RecordingHUDView(const QString &modeLabel, ScreenRecording *service,
                     std::function<void()> onStop, std::function<void()> onCancel,
                     QWidget *parent = nullptr);
    ~RecordingHUDView() override;

    QString modeLabel() const { return m_modeLabel; }
    // The elapsed time as shown.
    QString elapsedText() const;
    // Whether the dot has started pulsing (it does once the view is first shown).
    bool isBlinking() const { return m_isBlinking; }
    qreal dotOpacity() const { return m_dotOpacity; }
    void setDotOpacity(qreal opacity);

    // The capsule behind the row, in widget coordinates; also the panel's shape.
    QRectF capsuleRect() const;
    QRegion capsuleRegion() const;

    QAbstractButton *finishButton() const { return m_finishButton; }
    QAbstractButton *closeButton() const { return m_closeButton; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateElapsed(double duration);

    QString m_modeLabel;
    QPointer<ScreenRecording> m_service;
    std::function<void()> m_onStop;
    std::function<void()> m_onCancel;
    bool m_isBlinking = false;
    qreal m_dotOpacity = 1.0;
    QWidget *m_dot = nullptr;
    QLabel *m_elapsedLabel = nullptr;
    QAbstractButton *m_finishButton = nullptr;
    QAbstractButton *m_closeButton = nullptr;
    QAbstractAnimation *m_blink = nullptr;
    // Offset of the press from the window's origin while the background is dragged.
    std::optional<QPoint> m_dragOffset;
};
