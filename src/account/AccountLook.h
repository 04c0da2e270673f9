#pragma once

#include <QColor>
#include <QFont>
#include <QPushButton>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPainter;

// Draws a named symbol ("envelope", "lock", ...), or the program's logo for "AppLogo", into the
// box in the colour. The program's windows supply it; without one no symbol is drawn.
using AccountSymbolPainter =
    std::function<void(QPainter &, const QString &name, const QRectF &box, const QColor &color)>;
// One painter shared by every symbol of a view, so that it can be given after they are made.
using SharedSymbolPainter = std::shared_ptr<AccountSymbolPainter>;

// The account page's look, drawn for the dark scheme of the main window: white titles, the
// secondary grey, the link and button colours of the sign-in form.
namespace accountLook {
QColor secondaryText();
QColor linkColor();
QColor buttonColor();
// A plain-text label in white or the secondary grey.
QLabel *label(const QString &text, int pixelSize, QFont::Weight weight, bool secondary = false,
              QWidget *parent = nullptr);
// A field row: the leading symbol, the borderless field, an optional trailing symbol, padded on
// a faint rounded fill with a thin outline.
QFrame *fieldRow(const SharedSymbolPainter &symbols, const QString &symbol, QLineEdit *field,
                 const QString &trailingSymbol = {});
} // namespace accountLook

// A fixed-size symbol of the account page.
class AccountSymbol : public QWidget {
    Q_OBJECT

public:
    AccountSymbol(SharedSymbolPainter symbols, QString name, QSize size, QColor color,
                  QWidget *parent = nullptr);
    QString name() const { return m_name; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SharedSymbolPainter m_symbols;
    QString m_name;
    QColor m_color;
};

// A painted button of the account page: a rounded fill (a capsule for a large radius) with an
// optional outline, its text and a symbol before or after it, all within its size hint so that
// nothing is clipped. Disabled, it is drawn faded unless told otherwise.
class AccountButton : public QPushButton {
    Q_OBJECT

public:
    struct Look {
        QColor fill = Qt::transparent;
        QColor outline = Qt::transparent;
        QColor text = Qt::white;
        double radius = 8;
        int fontSize = 14;
        QFont::Weight weight = QFont::Medium;
        QString leadingSymbol{};
        QString trailingSymbol{};
        int symbolSize = 16;
        int verticalPadding = 12;
        bool underline = false;
        bool fadesWhenDisabled = true;
    };

    AccountButton(const QString &text, Look look, SharedSymbolPainter symbols,
                  QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int contentWidth() const;

    Look m_look;
    SharedSymbolPainter m_symbols;
};
