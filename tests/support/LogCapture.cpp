#include "support/LogCapture.h"

#include "platform/Logging.h"

namespace {
QString levelText(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("debug");
    case QtInfoMsg:
        return QStringLiteral("info");
    case QtWarningMsg:
        return QStringLiteral("warning");
    case QtCriticalMsg:
        return QStringLiteral("error");
    case QtFatalMsg:
        return QStringLiteral("fault");
    }
    return {};
}
} // namespace

LogCapture::LogCapture()
{
    platform::setLogTap([this](QtMsgType type, const char *category, const QString &message) {
        QString name = QString::fromLatin1(category);
        const QString prefix = QStringLiteral("com.corvanta.app.");
        if (name.startsWith(prefix))
            name = name.mid(prefix.size());
        QMutexLocker lock(&m_mutex);
        m_lines << name + QLatin1Char('|') + levelText(type) + QLatin1Char('|') + message;
    });
}

LogCapture::~LogCapture()
{
    platform::setLogTap({});
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

QStringList LogCapture::messages(const QString &category) const
{
    QStringList out;
    const QString prefix = category + QLatin1Char('|');
    for (const QString &line : lines()) {
        if (line.startsWith(prefix))
            out << line.section(QLatin1Char('|'), 2);
    }
    return out;
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}
