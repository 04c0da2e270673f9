#include "platform/linux/DesktopUrlOpener.h"
#include "support/EnvironmentScope.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the program writes to its standard output and error while it lives.
class OutputCapture {
public:
    explicit OutputCapture(const QString &file)
    {
        const int into = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_TRUNC);
        for (int channel : {STDOUT_FILENO, STDERR_FILENO}) {
            m_saved << ::dup(channel);
            ::dup2(into, channel);
        }
        ::close(into);
    }
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;
    ~OutputCapture()
    {
        for (int channel : {STDOUT_FILENO, STDERR_FILENO}) {
            ::dup2(m_saved[channel - 1], channel);
            ::close(m_saved[channel - 1]);
        }
    }

private:
    QList<int> m_saved;
};

// The xdg-open processes still running, which go with the application when it quits first.
qsizetype launchersRunning()
{
    return QCoreApplication::instance()
        ->findChildren<QProcess *>(Qt::FindDirectChildrenOnly)
        .size();
}

// A page counts as opened only when xdg-open took it: it ends at once with a failure when no
// browser is set up, and a failure after it was counted as opened is told apart. Without
// xdg-open (and no browser named), nothing opens it. A browser in text mode writes nothing
// into the program's output.
TEST(DesktopUrlOpener, ABrowserPageIsOpenedOnlyWhenXdgOpenTakesIt)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    EnvironmentScope environment;
    environment.set("PATH", bin.path());
    environment.unset("BROWSER");
    environment.unset("DEFAULT_BROWSER");
    // Shell built-ins only: the PATH holds nothing else. It ends with the status read from the
    // file the page's fragment names.
    QFile launcher(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.write("#!/bin/sh\n"
                   "printf '%s\\n' \"$1\" >> \"${0%/*}/asked\"\n"
                   "echo 'A text-mode browser draws its page'\n"
                   "echo 'and its complaints' >&2\n"
                   "read status < \"${0%/*}/${1##*#}\"\n"
                   "exit \"$status\"\n");
    launcher.close();
    launcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto answerWith = [&](const char *status) {
        QFile file(bin.filePath(QStringLiteral("status")));
        return file.open(QIODevice::WriteOnly) && file.write(status) > 0;
    };
    // Late answers come through named pipes: xdg-open waits for them.
    for (const char *late : {"late-failure", "late-success"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(bin.filePath(QLatin1String(late))).constData(), 0600),
                  0);
    const auto answerLate = [&](const char *late, const char *status) {
        const int pipe = ::open(QFile::encodeName(bin.filePath(QLatin1String(late))).constData(),
                                O_WRONLY | O_NONBLOCK);
        const bool written = pipe >= 0 && ::write(pipe, status, strlen(status)) > 0;
        if (pipe >= 0)
            ::close(pipe);
        return written;
    };
    QTemporaryFile output;
    ASSERT_TRUE(output.open());

    platform::DesktopUrlOpener opener;
    const QString authorize = QStringLiteral("https://backend.example/auth/v1/authorize");
    const QUrl page(authorize + QStringLiteral("?provider=google#status"));
    const QUrl failingLater(authorize + QStringLiteral("#late-failure"));
    const QUrl endingLater(authorize + QStringLiteral("#late-success"));
    int laterFailures = 0;
    int laterEndings = 0;
    bool openedAtOnce = false;
    bool failedAtOnce = true;
    bool lateFailureOpened = false;
    bool lateSuccessOpened = false;
    qsizetype runningWhileWaiting = 0;
    bool allEnded = false;
    {
        OutputCapture capture(output.fileName());
        if (answerWith("0\n"))
            openedAtOnce = QCoro::waitFor(opener.openInBrowser(page, [] {}));
        if (answerWith("3\n"))
            failedAtOnce = QCoro::waitFor(opener.openInBrowser(page, [] {}));
        // Still running when the verdict is due: opened, until they end.
        auto failing = opener.openInBrowser(failingLater, [&] { ++laterFailures; });
        auto ending = opener.openInBrowser(endingLater, [&] { ++laterEndings; });
        lateFailureOpened = QCoro::waitFor(std::move(failing));
        lateSuccessOpened = QCoro::waitFor(std::move(ending));
        runningWhileWaiting = launchersRunning();
        allEnded = answerLate("late-failure", "4\n") && answerLate("late-success", "0\n") &&
                   waitUntil([&] { return laterFailures == 1 && launchersRunning() == 0; });
        QTest::qWait(50);
    }
    EXPECT_TRUE(openedAtOnce);
    EXPECT_FALSE(failedAtOnce);
    EXPECT_TRUE(lateFailureOpened);
    EXPECT_TRUE(lateSuccessOpened);
    EXPECT_EQ(runningWhileWaiting, 2) << "both go with the application if it quits first";
    EXPECT_TRUE(allEnded) << "the failure is told and the processes are freed once they end";
    EXPECT_EQ(laterFailures, 1);
    EXPECT_EQ(laterEndings, 0) << "a browser that ended well never failed";
    EXPECT_FALSE(output.readAll().contains("text-mode browser"));
    QFile asked(bin.filePath(QStringLiteral("asked")));
    ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
    EXPECT_EQ(asked.readAll().count('\n'), 4);
    asked.seek(0);
    EXPECT_EQ(asked.readLine(), page.toEncoded() + '\n');

    ASSERT_TRUE(launcher.remove());
    EXPECT_FALSE(QCoro::waitFor(opener.openInBrowser(page, [] {})));
}

} // namespace
