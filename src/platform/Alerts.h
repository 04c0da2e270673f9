#pragma once

#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

class QWidget;

namespace platform {

enum class AlertStyle { warning, informational, critical };

// A message with buttons that the user must answer before going on with the program.
struct Alert {
    AlertStyle style = AlertStyle::warning;
    QString messageText;
    QString informativeText;
    // In order. The default button (Return) is the first one that does not destroy anything; a
    // button titled "Cancel" also answers Escape.
    QStringList buttonTitles;
    // The window that asked: the alert opens above it and keeps above it while open. Without
    // one, the window that has the keyboard asked.
    QWidget *window = nullptr;
    // The index of the button that destroys something, drawn as such and never the default;
    // -1 for none.
    int destructiveButton = -1;
};

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Shows the alert, leaving the program's other windows their input (a capture started
    // meanwhile must get it), and completes with the index of the pressed button in
    // buttonTitles; -1 when the alert went away unanswered. A window shows one alert at a time:
    // a later one waits until the one before is answered, and the same alert asked again while
    // it is open or waiting gets that alert's answer.
    // The event loop keeps running while it waits.
    virtual QCoro::Task<int> present(Alert alert) = 0;
};

} // namespace platform
