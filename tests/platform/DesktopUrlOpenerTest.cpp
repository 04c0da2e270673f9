#include "platform/linux/DesktopUrlOpener.h"
#include "support/EnvironmentScope.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A page counts as opened only when xdg-open took it: it ends at once with a failure when no
// browser is set up, and a failure after it was counted as opened is told apart. Without
// xdg-open (and no browser named), nothing opens it. A browser in text mode writes nothing
// into the program's output, and each xdg-open is freed once it ends.
TEST(DesktopUrlOpener, ABrowserPageIsOpenedOnlyWhenXdgOpenTakesIt)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    EnvironmentScope environment;
    environment.set("PATH", bin.path());
    environment.unset("BROWSER");
    environment.unset("DEFAULT_BROWSER");
    // Shell built-ins only: the PATH holds nothing else. It ends with the status read from the
    // file the page's fragment names; a named pipe makes it wait for the test.
    QFile launcher(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.write("#!/bin/sh\n"
                   "printf '%s\\n' \"$1\" >> \"${0%/*}/asked\"\n"
                   "echo 'A text-mode browser draws its page'; echo 'and complains' >&2\n"
                   "read status < \"${0%/*}/${1##*#}\"\n"
                   "exit \"$status\"\n");
    launcher.close();
    launcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto file = [&](const char *name) { return QFile::encodeName(bin.filePath(name)); };
    const auto answerWith = [&](const char *name, const char *status) {
        const int answer = ::open(file(name).constData(), O_WRONLY | O_CREAT | O_NONBLOCK, 0600);
        const bool written = answer >= 0 && ::write(answer, status, 2) == 2;
        return ::close(answer) == 0 && written;
    };
    for (const char *late : {"late-failure", "late-success"})
        ASSERT_EQ(::mkfifo(file(late).constData(), 0600), 0);
    // What the program writes to its standard output and error, meanwhile.
    const int output = ::open(file("output").constData(), O_WRONLY | O_CREAT, 0600);
    const int saved[] = {::dup(STDOUT_FILENO), ::dup(STDERR_FILENO)};
    for (int channel : {STDOUT_FILENO, STDERR_FILENO})
        ::dup2(output, channel);

    platform::DesktopUrlOpener opener;
    const QString authorize = QStringLiteral("https://backend.example/auth/v1/authorize");
    const QUrl page(authorize + QStringLiteral("?provider=google#status"));
    int failures[2] = {};
    bool answers[4] = {};
    answers[0] = answerWith("status", "0\n") && QCoro::waitFor(opener.openInBrowser(page, {}));
    answers[1] = answerWith("status", "3\n") && QCoro::waitFor(opener.openInBrowser(page, {}));
    // Still running when the verdict is due: opened, until they end.
    auto failing = opener.openInBrowser(authorize + "#late-failure", [&] { ++failures[0]; });
    auto ending = opener.openInBrowser(authorize + "#late-success", [&] { ++failures[1]; });
    answers[2] = QCoro::waitFor(std::move(failing));
    answers[3] = QCoro::waitFor(std::move(ending));
    const auto running = [] { return qApp->findChildren<QProcess *>(Qt::FindDirectChildrenOnly); };
    const qsizetype runningWhileWaiting = running().size();
    const bool ended = answerWith("late-failure", "4\n") && answerWith("late-success", "0\n") &&
                       waitUntil([&] { return failures[0] == 1 && running().isEmpty(); });
    for (int channel : {STDOUT_FILENO, STDERR_FILENO})
        ::close(::dup2(saved[channel - 1], channel) >= 0 ? saved[channel - 1] : -1);
    ::close(output);

    EXPECT_EQ(QList<bool>(answers, answers + 4), QList<bool>({true, false, true, true}));
    EXPECT_EQ(runningWhileWaiting, 2) << "both go with the application if it quits first";
    EXPECT_TRUE(ended) << "the failure is told and the processes are freed once they end";
    EXPECT_EQ(QList<int>(failures, failures + 2), QList<int>({1, 0}));
    QFile written(bin.filePath(QStringLiteral("output")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_FALSE(written.readAll().contains("text-mode browser"));
    QFile asked(bin.filePath(QStringLiteral("asked")));
    ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
    EXPECT_EQ(asked.readLine() + asked.readLine(),
              page.toEncoded() + '\n' + page.toEncoded() + '\n');

    ASSERT_TRUE(launcher.remove());
    EXPECT_FALSE(QCoro::waitFor(opener.openInBrowser(page, {})));
}

} // namespace
