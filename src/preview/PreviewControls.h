#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QString>

// The flat buttons of the preview and the markup editor: a symbol and/or a title on a rounded
// plate, no platform bezel. What they show is set from outside and repainted at once.
class PlateButton final : public QAbstractButton {
    Q_OBJECT

public:
    struct Look {
        QString symbol;
        QString title;
        QColor symbolColor = Qt::white;
        QColor titleColor = Qt::white;
        QColor plate = QColor(255, 255, 255, 20);
        double radius = 6;
        // Symbol size and title font size, in points.
        double symbolSize = 12;
        double titleSize = 11;
        QFont::Weight titleWeight = QFont::Medium;
        // A fixed size, else the content plus the padding.
        QSize fixedSize;
        double paddingX = 10;
        double paddingY = 6;
        double spacing = 5;
    };

    explicit PlateButton(Look look, QWidget *parent = nullptr);

    const Look &look() const { return m_look; }
    void setLook(Look look);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont titleFont() const;

    Look m_look;
};

// A circle swatch of the markup palette, ringed in white when selected.
class SwatchButton final : public QAbstractButton {
    Q_OBJECT

public:
    SwatchButton(const QString &hex, QWidget *parent = nullptr);

    const QString &hex() const { return m_hex; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QSize sizeHint() const override { return QSize(24, 24); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_hex;
    bool m_selected = false;
};

// The font the preview uses, at a size in points (logical pixels, whatever the screen density).
QFont previewFont(double pointSize, QFont::Weight weight);
