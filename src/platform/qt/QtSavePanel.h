#pragma once

#include "platform/SavePanel.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFuture>
#include <QMimeDatabase>
#include <QPointer>
#include <QPromise>
#include <memory>
#include <qcoro/qcorofuture.h>

namespace platform {

// The save panel as Qt's own file dialog (the same on every desktop), shown without a nested
// event loop. It confirms before replacing a file. Defined in the header: only the targets that
// show windows link Qt Widgets and QCoro.
class QtSavePanel final : public SavePanel {
public:
    QCoro::Task<std::optional<QUrl>> run(SavePanelOptions options, QWidget *window) override
    {
        QPointer<QFileDialog> dialog = new QFileDialog(window);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
        dialog->setWindowTitle(options.title);
        const QStringList filters = nameFilters(options.allowedContentTypes);
        if (!filters.isEmpty())
            dialog->setNameFilters(filters);
        // A name typed without an extension gets the proposed one.
        dialog->setDefaultSuffix(QFileInfo(options.nameFieldStringValue).suffix());
        dialog->selectFile(options.nameFieldStringValue);

        // The answer, or nothing when the dialog goes with its parent window before it.
        auto answer = std::make_shared<int>(QDialog::Rejected);
        auto promise = std::make_shared<QPromise<void>>();
        QFuture<void> done = promise->future();
        promise->start();
        QObject::connect(dialog, &QDialog::finished, dialog, [answer, promise](int result) {
            *answer = result;
            promise->finish();
        });
        QObject::connect(dialog, &QObject::destroyed, [promise] { promise->finish(); });
        if (window != nullptr) {
            dialog->open(); // modal to its window
        } else {
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->show();
        }
        co_await done;

        std::optional<QUrl> chosen;
        if (dialog) {
            const QString path = dialog->selectedFiles().value(0);
            if (*answer == QDialog::Accepted && !path.isEmpty())
                chosen = QUrl::fromLocalFile(path);
            dialog->deleteLater();
        }
        co_return chosen;
    }

    // One filter per known type, "PNG image (*.png)".
    static QStringList nameFilters(const QStringList &mimeTypes)
    {
        QMimeDatabase database;
        QStringList filters;
        for (const QString &name : mimeTypes) {
            const QMimeType type = database.mimeTypeForName(name);
            if (type.isValid() && !type.filterString().isEmpty())
                filters << type.filterString();
        }
        return filters;
    }
};

} // namespace platform
