#pragma once

#include "platform/Alerts.h"
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
#include <memory>
#include <qcoro/qcorofuture.h>

namespace platform {

// Alerts as Qt message boxes, shown without a nested event loop. An alert is modal to the
// window that asked and above it; one without a window is modal to nothing. Defined in the
// header: only the targets that show windows link Qt Widgets and QCoro.
class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    QCoro::Task<int> present(Alert alert) override
    {
        const QPointer<QWidget> window = askingWindow(alert.window);
        QWidget *const key = window.data();
        QList<std::shared_ptr<Waiting>> &line = m_lines[key];
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
        // The window went while the alert waited: nobody is left to answer it.
        const int index = key && !window ? -1 : co_await show(std::move(alert), window);
        waiting->promise.addResult(index);
        waiting->promise.finish();
        m_lines[key].removeOne(waiting);
        if (m_lines[key].isEmpty())
            m_lines.remove(key);
        co_return index;
    }

private:
    struct Waiting {
        Alert alert;
        QPromise<int> promise;
        QFuture<int> answer;
    };

    static bool sameAlert(const Alert &a, const Alert &b)
    {
        return a.style == b.style && a.messageText == b.messageText &&
               a.informativeText == b.informativeText && a.buttonTitles == b.buttonTitles &&
               a.destructiveButton == b.destructiveButton;
    }

    static QCoro::Task<int> show(Alert alert, QPointer<QWidget> window)
    {
        QPointer<QMessageBox> box = new QMessageBox(window.data());
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
        if (box)
            box->deleteLater();
        co_return *clicked;
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
        const QMargins margins = box->layout()->contentsMargins();
        buttons->setMinimumWidth(width - margins.left() - margins.right());
    }

    QHash<QWidget *, QList<std::shared_ptr<Waiting>>> m_lines;

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
