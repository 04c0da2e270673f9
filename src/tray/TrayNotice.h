#pragma once

#include <QString>
#include <QUuid>

// A short message about one capture, shown in the information column while that capture is
// displayed: work under way, work done, or something that went wrong.
struct TrayNotice {
    enum class Tone : quint8 { progress, success, problem };

    QUuid id;
    QString text;
    Tone tone = Tone::problem;

    bool operator==(const TrayNotice &) const = default;
};
