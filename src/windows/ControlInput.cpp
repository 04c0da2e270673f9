#include "windows/ControlInput.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QWidget>

namespace {

constexpr const char *installedProperty = "corvantaControlInput";
constexpr const char *keyboardFocusProperty = "corvantaKeyboardFocus";

bool isControl(const QWidget *widget)
{
    // The text field inside a spin box or an editable picker is part of that control.
    if (qobject_cast<const QLineEdit *>(widget))
        return !(widget->parentWidget() && ControlInput::takesWheel(widget->parentWidget()));
    return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QTabBar *>(widget) ||
           ControlInput::takesWheel(widget);
}

// The scroll area a wheel over an untouched control belongs to.
QAbstractScrollArea *enclosingScrollArea(QWidget *widget)
{
    for (QWidget *parent = widget->parentWidget(); parent && !parent->isWindow();
         parent = parent->parentWidget()) {
        if (auto *area = qobject_cast<QAbstractScrollArea *>(parent))
            return area;
    }
    return nullptr;
}

class ControlFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = static_cast<QWidget *>(watched);
        switch (event->type()) {
        case QEvent::Wheel:
            return redirectWheel(widget, event);
        case QEvent::FocusIn:
            noteFocusReason(widget, static_cast<QFocusEvent *>(event)->reason());
            if (widget->property(keyboardFocusProperty).toBool())
                bringIntoView(widget);
            widget->update();
            return false;
        case QEvent::FocusOut:
            widget->update();
            return false;
        case QEvent::Paint:
            if (!widget->hasFocus() || !widget->property(keyboardFocusProperty).toBool() ||
                m_painting)
                return false;
            paintWithRing(widget, event);
            return true;
        default:
            return false;
        }
    }

private:
    // The ring shows where the keyboard put the focus; a click or the window's own first focus
    // shows none, and a window coming back keeps what was shown.
    static void noteFocusReason(QWidget *widget, Qt::FocusReason reason)
    {
        switch (reason) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            widget->setProperty(keyboardFocusProperty, true);
            break;
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
            break;
        default:
            widget->setProperty(keyboardFocusProperty, false);
        }
    }

    // The scroll areas holding a control the keyboard reached show it, however the focus came
    // there (also from outside the page, or round from its other end).
    static void bringIntoView(QWidget *widget)
    {
        QWidget *inner = widget;
        for (QWidget *parent = widget->parentWidget(); parent && !parent->isWindow();
             parent = parent->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(parent)) {
                area->ensureWidgetVisible(inner, 8, 8);
                inner = area;
            }
        }
    }

    bool redirectWheel(QWidget *widget, QEvent *event)
    {
        if (!ControlInput::takesWheel(widget) || widget->hasFocus())
            return false;
        if (QAbstractScrollArea *area = enclosingScrollArea(widget))
            QCoreApplication::sendEvent(area->viewport(), event);
        return true;
    }

    // The control paints itself first; the ring goes over its edge. A white band between two
    // black ones: whatever colour the control has there (an accent, a faint fill, the window),
    // one of the two stands out from it at 4.5 : 1 or more.
    void paintWithRing(QWidget *widget, QEvent *event)
    {
        m_painting = true;
        QCoreApplication::sendEvent(widget, event);
        m_painting = false;
        QPainter painter(widget);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        const QRectF ring = QRectF(widget->rect()).adjusted(2, 2, -2, -2);
        const double radius = std::min(8.0, std::min(ring.width(), ring.height()) / 2.0);
        painter.setPen(QPen(Qt::black, 4));
        painter.drawRoundedRect(ring, radius, radius);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRoundedRect(ring, radius, radius);
    }

    bool m_painting = false;
};

void apply(QWidget *widget, ControlFilter *filter)
{
    if (qobject_cast<QScrollArea *>(widget) && widget->focusPolicy() != Qt::NoFocus) {
        // A page's scroll area is no stop of its own: focusing a control scrolls to it.
        widget->setFocusPolicy(Qt::NoFocus);
        return;
    }
    if (!isControl(widget) || widget->property(installedProperty).toBool())
        return;
    widget->setProperty(installedProperty, true);
    if (ControlInput::takesWheel(widget))
        widget->setFocusPolicy(Qt::StrongFocus); // a wheel alone never gives it the focus
    else if (widget->focusPolicy() == Qt::NoFocus)
        widget->setFocusPolicy(Qt::TabFocus);
    widget->installEventFilter(filter);
}

} // namespace

namespace ControlInput {

bool takesWheel(const QWidget *widget)
{
    return (qobject_cast<const QAbstractSlider *>(widget) &&
            !qobject_cast<const QScrollBar *>(widget)) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget);
}

void install(QWidget *root)
{
    auto *filter = new ControlFilter(root);
    apply(root, filter);
    for (QWidget *widget : root->findChildren<QWidget *>())
        apply(widget, filter);
}

} // namespace ControlInput
