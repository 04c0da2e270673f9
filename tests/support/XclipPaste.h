#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTest>

// What another program reads from the clipboard under `target` ("TARGETS" lists the offered
// types), through xclip; empty when xclip did not finish within the limit. The event loop keeps
// running meanwhile, so that this process can serve the request as the clipboard's owner.
inline QByteArray pasteWithXclip(const QString &target, int limitMs = 10000)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                          QStringLiteral("-t"), target, QStringLiteral("-o")});
    if (!xclip.waitForStarted(limitMs))
        return {};
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, limitMs)) {
        xclip.kill();
        xclip.waitForFinished();
        return {};
    }
    return xclip.readAllStandardOutput();
}
