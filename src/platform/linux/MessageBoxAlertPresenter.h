#pragma once

#include "platform/Alerts.h"
#include "platform/linux/AlertTextView.h"
#include "platform/qt/DialogStacking.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFuture>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <qcoro/qcorofuture.h>
#include <utility>

namespace platform {

// Alerts as Qt message boxes, shown without a nested event loop. An alert is modal to the
// window that asked and above it; one without a window is modal to nothing. Defined in the
// header: only the targets that show windows link Qt Widgets and QCoro.
class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    MessageBoxAlertPresenter() = default;
    MessageBoxAlertPresenter(const MessageBoxAlertPresenter &) = delete;
    MessageBoxAlertPresenter &operator=(const MessageBoxAlertPresenter &) = delete;
    // The alerts still open go with the presenter, unanswered, and those waiting never show: an
    // alert about a program that is going has nobody left to act on its answer.
    ~MessageBoxAlertPresenter() override
    {
        m_state->gone = true;
        const QList<QPointer<QMessageBox>> boxes = std::exchange(m_state->boxes, {});
        for (const QPointer<QMessageBox> &box : boxes)
            delete box.data();
    }

    QCoro::Task<int> present(Alert alert) override
    {
        // What the coroutine writes after a wait is its own: the presenter may be gone by then.
        const std::shared_ptr<State> state = m_state;
        const QPointer<QWidget> window = askingWindow(alert.window);
        QWidget *const key = window.data();
        QList<std::shared_ptr<Waiting>> &line = state->lines[key];
        for (const std::shared_ptr<Waiting> &waiting : std::as_const(line)) {
            if (sameAlert(waiting->alert, alert)) {
                const QFuture<int> answer = waiting->answer;
                co_return co_await answer;
            }
        }
        auto waiting = std::make_shared<Waiting>();
        waiting->alert = alert;
        waiting->promise.start();
        waiting->answer = waiting->promise.future();
        const std::shared_ptr<Waiting> before = line.isEmpty() ? nullptr : line.last();
        line.append(waiting);
        if (before) {
            const QFuture<int> previous = before->answer;
            co_await previous;
        }
        // The window or the presenter went while the alert waited: nobody is left to answer it.
        const bool unanswerable = state->gone || (key && !window);
        const int index = unanswerable ? -1 : co_await show(std::move(alert), window, state);
        waiting->promise.addResult(index);
        waiting->promise.finish();
        state->lines[key].removeOne(waiting);
        if (state->lines[key].isEmpty())
            state->lines.remove(key);
        co_return index;
    }

private:
    struct Waiting {
        Alert alert;
        QPromise<int> promise;
        QFuture<int> answer;
    };
    // Shared with the alerts under way, which outlive the presenter by a turn of the event loop.
    struct State {
        QHash<QWidget *, QList<std::shared_ptr<Waiting>>> lines;
        QList<QPointer<QMessageBox>> boxes;
        bool gone = false;
    };

    static bool sameAlert(const Alert &a, const Alert &b)
    {
        return a.style == b.style && a.messageText == b.messageText &&
               a.informativeText == b.informativeText && a.buttonTitles == b.buttonTitles &&
               a.destructiveButton == b.destructiveButton;
    }

    static QCoro::Task<int> show(Alert alert, QPointer<QWidget> window,
                                 std::shared_ptr<State> state)
    {
        QPointer<QMessageBox> box = new QMessageBox(window.data());
        state->boxes << box;
        box->setIcon(iconFor(alert.style));
        // Only the main window may carry the program's name as its title: the
        // capture code finds that window by it.
        box->setWindowTitle(alert.messageText);
        // Alert texts can come from outside the program (a server's message): never markup.
        box->setTextFormat(Qt::PlainText);
        box->setText(alert.messageText);
        box->setInformativeText(alert.informativeText);
        if (auto *informative =
                box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            informative->setTextFormat(Qt::PlainText);
        wrapLongRuns(box);
        QList<QAbstractButton *> buttons;
        const int defaultIndex = alert.destructiveButton == 0 ? 1 : 0;
        for (qsizetype i = 0; i < alert.buttonTitles.size(); ++i) {
            const QString &title = alert.buttonTitles[i];
            const bool cancels = title == QLatin1String("Cancel");
            QMessageBox::ButtonRole role = QMessageBox::ActionRole;
            if (i == alert.destructiveButton)
                role = QMessageBox::DestructiveRole;
            else if (cancels)
                role = QMessageBox::RejectRole;
            else if (i == defaultIndex)
                role = QMessageBox::AcceptRole;
            QPushButton *button = box->addButton(title, role);
            if (i == defaultIndex)
                box->setDefaultButton(button);
            if (cancels || alert.buttonTitles.size() == 1)
                box->setEscapeButton(button);
            buttons << button;
        }
        fitTitle(box);
        // Modal to the window that asked only: blocking the program would freeze a selection
        // started while the alert is open.
        box->setWindowModality(window ? Qt::WindowModal : Qt::NonModal);
        keepAboveParent(box, window);
        // The answer, or nothing when the box goes with its window first.
        auto clicked = std::make_shared<int>(-1);
        QPromise<void> closed;
        QFuture<void> done = closed.future();
        closed.start();
        auto finish = std::make_shared<QPromise<void>>(std::move(closed));
        QObject::connect(box, &QMessageBox::finished, box, [box, clicked, buttons, finish] {
            *clicked = int(buttons.indexOf(box->clickedButton()));
            finish->finish();
        });
        QObject::connect(box, &QObject::destroyed, [finish] { finish->finish(); });
        box->show();
        box->raise();
        box->activateWindow();
        co_await done;
        state->boxes.removeAll(box);
        state->boxes.removeAll(nullptr);
        if (box)
            box->deleteLater();
        co_return *clicked;
    }

    // A run with nowhere to break (a path, a token, a server's message of one long word) would
    // go on past the box's edge and hide its end, the "…" of a text cut short included: a label
    // with such a run gives way to a text view that wraps it. The view is wide enough for every
    // run left whole: about as wide as in a box of long text that Qt wraps, half the screen (at
    // most 500 pixels) with the icon beside it. Made before the buttons, it comes before them
    // with Tab, in the order it is read.
    static void wrapLongRuns(QMessageBox *box)
    {
        const int width = std::min(box->screen()->availableGeometry().width() / 2, 500) * 3 / 4;
        for (const char *name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            auto *label = box->findChild<QLabel *>(QLatin1String(name));
            if (!label || !hasRunWiderThan(label->text(), label->fontMetrics(), width))
                continue;
            // In the label's place and with its margins, less the view's frame.
            auto *place = new QWidget(box);
            auto *margins = new QVBoxLayout(place);
            const QMargins around = label->contentsMargins();
            margins->setContentsMargins(0, std::max(around.top() - 1, 0), 0,
                                        std::max(around.bottom() - 1, 0));
            auto *view = new AlertTextView(label->text(), box);
            view->setFont(label->font());
            view->setMinimumWidth(width);
            margins->addWidget(view);
            delete box->layout()->replaceWidget(label, place);
            label->hide();
        }
    }

    static bool hasRunWiderThan(const QString &text, const QFontMetrics &metrics, int width)
    {
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
        qsizetype start = 0;
        for (qsizetype end = breaks.toNextBoundary(); end > 0; end = breaks.toNextBoundary()) {
            if (metrics.horizontalAdvance(text.mid(start, end - start).trimmed()) > width)
                return true;
            start = end;
        }
        return false;
    }

    // The window manager draws the title in a bold face beside the window's icon and three
    // buttons, each about as wide as the title bar is high, and cuts a title that does not fit:
    // the box is made wide enough for all of it.
    static void fitTitle(QMessageBox *box)
    {
        auto *buttons = box->findChild<QDialogButtonBox *>();
        if (!buttons || !box->layout())
            return;
        QFont titleFont = box->font();
        titleFont.setBold(true);
        const QFontMetrics metrics(titleFont);
        const int titleBar = metrics.height() + 8;
        const int width = metrics.horizontalAdvance(box->windowTitle()) + 4 * titleBar + 24;
        // A title too long for any box is left to the window manager to cut: never the buttons
        // to the screen's edge. Qt makes a box of long text no wider than this.
        const int screen = box->screen()->availableGeometry().width();
        const int most = screen <= 1024 ? screen : std::min(screen - 480, 1000);
        const QMargins margins = box->layout()->contentsMargins();
        buttons->setMinimumWidth(std::min(width, most) - margins.left() - margins.right());
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();

    static QMessageBox::Icon iconFor(AlertStyle style)
    {
        switch (style) {
        case AlertStyle::warning:
            return QMessageBox::Warning;
        case AlertStyle::critical:
            return QMessageBox::Critical;
        case AlertStyle::informational:
            break;
        }
        return QMessageBox::Information;
    }
};

} // namespace platform
