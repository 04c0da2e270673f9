#pragma once

#include "capture/CaptureNeighbours.h"
#include "support/EventLog.h"

// The preview or markup window: records "<name>.close".
class FakeClosableWindow : public ClosableWindow {
public:
    FakeClosableWindow(QString name, EventLog &log) : m_name(std::move(name)), m_log(log) {}
    void close() override { m_log.add(m_name + QStringLiteral(".close")); }

private:
    QString m_name;
    EventLog &m_log;
};
