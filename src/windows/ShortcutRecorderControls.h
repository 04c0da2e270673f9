#pragma once

#include "model/ShortcutModel.h"

#include <QAbstractButton>
#include <QFont>
#include <QSize>
#include <QString>

// The application's font at `pointSize` in `weight`, as the recorder and its picker write.
QFont shortcutRecorderFont(double pointSize, QFont::Weight weight = QFont::Normal);

// The recorder's own button: the combination (or the recording prompt) with an icon, on a
// tinted rounded rectangle. Its text() is what it shows.
class RecorderLabelButton final : public QAbstractButton {
public:
    using QAbstractButton::QAbstractButton;

    void setRecording(bool recording);
    void setShortcut(const ShortcutData &shortcut);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int horizontalMargin = 10;
    static constexpr int verticalMargin = 6;
    static constexpr int spacing = 6;
    static constexpr int dotSize = 7;

    QFont textFont() const;

    bool m_recording = false;
    ShortcutData m_shortcut;
};

// A small symbol on a faint rounded rectangle.
class RecorderSymbolButton final : public QAbstractButton {
public:
    RecorderSymbolButton(const QString &symbol, double pointSize, double backgroundAlpha,
                         QWidget *parent);

    void setHighlighted(bool highlighted);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int margin = 6;
    QFont m_font;
    double m_backgroundAlpha;
    bool m_highlighted = false;
};
