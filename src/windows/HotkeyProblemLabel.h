#pragma once

#include <QLabel>

// A warning line under a shortcut control: what the desktop said when it refused a hot key.
class HotkeyProblemLabel : public QLabel {
    Q_OBJECT

public:
    explicit HotkeyProblemLabel(QWidget *parent = nullptr);
    // Empty hides the line.
    void showProblem(const QString &reason);
};
