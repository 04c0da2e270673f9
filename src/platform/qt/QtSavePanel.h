#pragma once

#include "platform/SavePanel.h"
#include "platform/qt/DialogStacking.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFuture>
#include <QLineEdit>
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
    QCoro::Task<std::optional<QUrl>> run(SavePanelOptions options, QWidget *asking) override
    {
        QWidget *const window = askingWindow(asking);
        // The keyboard goes back to the window that asked only when it had it.
        const QPointer<QWidget> asker(window && window->isActiveWindow() ? window : nullptr);
        const QString proposedSuffix = QFileInfo(options.nameFieldStringValue).suffix();
        QPointer<QFileDialog> dialog = new ExtensionKeepingDialog(
            window, allowedSuffixes(options.allowedContentTypes), proposedSuffix);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        keepAboveParent(dialog, window);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
        dialog->setWindowTitle(options.title);
        const QStringList filters = nameFilters(options.allowedContentTypes);
        if (!filters.isEmpty())
            dialog->setNameFilters(filters);
        // A name typed without an extension gets the proposed one.
        dialog->setDefaultSuffix(proposedSuffix);
        if (!options.directory.isEmpty())
            dialog->setDirectory(options.directory);
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
            // Blocking the program would freeze a selection started while the panel is open.
            dialog->setWindowModality(Qt::NonModal);
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
        }
        co_await done;

        // The window manager gives the keyboard to a window of its own choosing when the panel
        // goes; the window that asked had it, and gets it back. One that went or was minimised
        // meanwhile (a capture closes the preview) is left alone.
        if (asker && asker->isVisible() && !asker->isMinimized())
            asker->activateWindow();
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

    // The file name extensions of the known types, "jpg", "jpeg", "jpe".
    static QStringList allowedSuffixes(const QStringList &mimeTypes)
    {
        QMimeDatabase database;
        QStringList suffixes;
        for (const QString &name : mimeTypes) {
            const QMimeType type = database.mimeTypeForName(name);
            if (type.isValid())
                suffixes << type.suffixes();
        }
        return suffixes;
    }

    // The path as it is saved: a name whose extension is none of allowedSuffixes (in any
    // case) gets appendedSuffix, so that the bytes written match the name ("x.jpg" saved as
    // PNG becomes "x.jpg.png"). Without allowed suffixes, or a suffix to append, the path
    // stays as it is.
    static QString withAllowedExtension(const QString &path, const QStringList &allowedSuffixes,
                                        const QString &appendedSuffix)
    {
        if (path.isEmpty() || allowedSuffixes.isEmpty() || appendedSuffix.isEmpty())
            return path;
        const QString suffix = QFileInfo(path).suffix();
        if (allowedSuffixes.contains(suffix, Qt::CaseInsensitive))
            return path;
        return path + QLatin1Char('.') + appendedSuffix;
    }

private:
    // Settles the extension when the user confirms, before the dialog takes the name: the
    // confirmation to replace a file then asks about the file that will really be written.
    class ExtensionKeepingDialog final : public QFileDialog {
    public:
        ExtensionKeepingDialog(QWidget *parent, QStringList allowed, QString appended)
            : QFileDialog(parent), m_allowed(std::move(allowed)), m_appended(std::move(appended))
        {
        }

        void accept() override
        {
            const QStringList files = selectedFiles();
            // A folder typed in is opened, and a pattern filters the list: neither is a name.
            if (files.size() == 1 && !QFileInfo(files.first()).isDir() &&
                !files.first().contains(QLatin1Char('*'))) {
                const QString settled = withAllowedExtension(files.first(), m_allowed, m_appended);
                if (settled != files.first()) {
                    selectFile(settled);
                    // Enter leaves the focus in the name field, whose text selectFile does not
                    // touch then: the field is given the settled name itself.
                    auto *field = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                    if (field && field->text() != QFileInfo(settled).fileName())
                        field->setText(settled);
                }
            }
            QFileDialog::accept();
        }

    private:
        QStringList m_allowed;
        QString m_appended;
    };
};

} // namespace platform
