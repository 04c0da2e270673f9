#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

// Draws a symbol of the main and settings windows, named after the system symbol it stands in
// for, into `box` in `color`. The shapes are our own paths (the tray's symbols where the tray
// has them), so they follow the accent colour and look the same on every desktop. A name without
// a shape of its own draws a small dot, so that a row never loses its symbol column.
void paintWindowSymbol(QPainter &painter, const QString &name, const QRectF &box,
                       const QColor &color, double weight = 1.4);
// Whether the name has a shape of its own.
bool isKnownWindowSymbol(const QString &name);

// A fixed-size square showing one symbol.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(QString name, int size, QColor color, QWidget *parent = nullptr);

    QString name() const { return m_name; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    void setName(const QString &name);
    void setWeight(double weight);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_name;
    QColor m_color;
    double m_weight = 1.4;
};

// The program's logo: a rounded square in the accent blue with a white viewfinder, drawn to fill
// `box` (any square stands in for the application's image).
void paintAppLogo(QPainter &painter, const QRectF &box, double cornerRadius);

// The logo for the name "AppLogo", else the window symbol of that name.
void paintSymbolOrLogo(QPainter &painter, const QString &name, const QRectF &box,
                       const QColor &color);

// A fixed-size view of the logo.
class AppLogoView : public QWidget {
    Q_OBJECT

public:
    AppLogoView(int size, double cornerRadius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_cornerRadius;
};
