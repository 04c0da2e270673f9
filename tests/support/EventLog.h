#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <optional>

// The calls that several test doubles received, in one order and with the
// time of each, so that a test can check the order of steps across them.
class EventLog {
public:
    EventLog() { m_clock.start(); }

    void add(const QString &event)
    {
        m_events << event;
        m_times << m_clock.elapsed();
    }
    QStringList events() const { return m_events; }
    void clear()
    {
        m_events.clear();
        m_times.clear();
    }
    // The position of the first event that starts with prefix, or -1.
    qsizetype indexOf(const QString &prefix) const
    {
        for (qsizetype i = 0; i < m_events.size(); ++i) {
            if (m_events[i].startsWith(prefix))
                return i;
        }
        return -1;
    }
    bool contains(const QString &prefix) const { return indexOf(prefix) >= 0; }
    // Milliseconds since the log was made at which the first event starting
    // with prefix happened.
    std::optional<qint64> timeOf(const QString &prefix) const
    {
        const qsizetype index = indexOf(prefix);
        return index < 0 ? std::nullopt : std::optional<qint64>(m_times[index]);
    }

private:
    QElapsedTimer m_clock;
    QStringList m_events;
    QList<qint64> m_times;
};
