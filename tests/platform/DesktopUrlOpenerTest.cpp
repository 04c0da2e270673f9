#include "platform/linux/DesktopUrlOpener.h"
#include "support/EnvironmentScope.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A page counts as opened only when xdg-open took it: it ends at once with a failure when no
// browser is set up. Without xdg-open (and no browser named), nothing opens it.
TEST(DesktopUrlOpener, ABrowserPageIsOpenedOnlyWhenXdgOpenTakesIt)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    EnvironmentScope environment;
    environment.set("PATH", bin.path());
    environment.unset("BROWSER");
    environment.unset("DEFAULT_BROWSER");
    // Shell built-ins only: the PATH holds nothing else.
    QFile launcher(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.write("#!/bin/sh\n"
                   "printf '%s\\n' \"$1\" >> \"${0%/*}/asked\"\n"
                   "read status < \"${0%/*}/status\"\n"
                   "exit \"$status\"\n");
    launcher.close();
    launcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto answerWith = [&](const char *status) {
        QFile file(bin.filePath(QStringLiteral("status")));
        return file.open(QIODevice::WriteOnly) && file.write(status) > 0;
    };

    platform::DesktopUrlOpener opener;
    const QUrl page(QStringLiteral("https://backend.example/auth/v1/authorize?provider=google"));
    ASSERT_TRUE(answerWith("0\n"));
    EXPECT_TRUE(QCoro::waitFor(opener.openInBrowser(page)));
    ASSERT_TRUE(answerWith("3\n"));
    EXPECT_FALSE(QCoro::waitFor(opener.openInBrowser(page)));
    QFile asked(bin.filePath(QStringLiteral("asked")));
    ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
    EXPECT_EQ(asked.readAll(), page.toEncoded() + '\n' + page.toEncoded() + '\n');

    ASSERT_TRUE(launcher.remove());
    EXPECT_FALSE(QCoro::waitFor(opener.openInBrowser(page)));
}

} // namespace
