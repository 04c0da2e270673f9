#pragma once

#include "platform/Alerts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <qcoro/qcorosignal.h>

namespace platform {

// Alerts as Qt message boxes, shown without a nested event loop and modal to nothing.
// Defined in the header: only the targets that show windows link Qt Widgets and QCoro.
class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    QCoro::Task<int> present(Alert alert) override
    {
        auto *box = new QMessageBox;
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
        for (qsizetype i = 0; i < alert.buttonTitles.size(); ++i) {
            const QString &title = alert.buttonTitles[i];
            const bool cancels = title == QLatin1String("Cancel");
            QPushButton *button = box->addButton(
                title, i == 0 ? QMessageBox::AcceptRole
                              : (cancels ? QMessageBox::RejectRole : QMessageBox::ActionRole));
            if (i == 0)
                box->setDefaultButton(button);
            if (cancels || alert.buttonTitles.size() == 1)
                box->setEscapeButton(button);
            buttons << button;
        }
        // Blocking the program would freeze a selection started while the alert is open.
        box->setWindowModality(Qt::NonModal);
        box->show();
        box->raise();
        box->activateWindow();
        co_await qCoro(box, &QMessageBox::finished);
        const int index = int(buttons.indexOf(box->clickedButton()));
        box->deleteLater();
        co_return index;
    }

private:
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
