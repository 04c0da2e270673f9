#include "platform/Logging.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <cstdio>

namespace platform {
namespace {

QMutex &tapMutex()
{
    static QMutex mutex;
    return mutex;
}

LogTap &currentTap()
{
    static LogTap tap;
    return tap;
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fault";
    }
    return "info";
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const char *category = context.category ? context.category : "default";
    const QByteArray line =
        QStringLiteral("%1 %2 %3: %4\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
                 QString::fromLatin1(category), QString::fromLatin1(levelName(type)), message)
            .toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    {
        QMutexLocker lock(&tapMutex());
        if (currentTap())
            currentTap()(type, category, message);
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void installMessageHandler()
{
    qInstallMessageHandler(handleMessage);
}

void setLogTap(LogTap tap)
{
    QMutexLocker lock(&tapMutex());
    currentTap() = std::move(tap);
}

} // namespace platform
