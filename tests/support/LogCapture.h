#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the log lines written while it lives. Lines are "category|level|message"
// with the category's short name ("queue", "capture", ...).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    // Messages of one category (short name), in order.
    QStringList messages(const QString &category) const;
    void clear();

private:
    mutable QMutex m_mutex;
    QStringList m_lines;
};
