#pragma once

#include "symbols/Symbols.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

// A fixed-size square showing one symbol of the program's table.
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

// The logo for the name "AppLogo", else the symbol of that name.
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
