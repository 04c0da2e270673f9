#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <qcoro/qcorotask.h>

class QWidget;

namespace platform {

struct SavePanelOptions {
    QString title;
    // The file name proposed in the name field, with its extension.
    QString nameFieldStringValue;
    // MIME type names, in the order offered; the first is selected.
    QStringList allowedContentTypes;
    bool canCreateDirectories = true;
    bool extensionHidden = false;
    // The folder the panel opens in; empty: wherever the platform puts it.
    QString directory;
};

// Asks the user where a file should go.
class SavePanel {
public:
    virtual ~SavePanel() = default;
    // Shows the panel above the window that asked and modal to it: `window` when given, else
    // the window that has the keyboard; modal to nothing when no window of ours has it, so that
    // the program's other windows (a selection's overlays above all) keep their input; the event
    // loop keeps running while it waits; once it goes, the window that asked gets the keyboard
    // back when it had it and is still shown. Completes with the chosen file, or nothing when
    // the user dismissed the panel. A confirmed name whose extension is none of the allowed
    // types' gets the proposed name's extension appended, as the panel shows the user before
    // the file is taken (and before replacing one is confirmed). Main thread.
    virtual QCoro::Task<std::optional<QUrl>> run(SavePanelOptions options, QWidget *window) = 0;
};

} // namespace platform
