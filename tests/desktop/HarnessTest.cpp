#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <gtest/gtest.h>
#include <qt6keychain/keychain.h>

// The desktop tests rely on the services scripts/harness starts. These check
// each service once, so that a broken harness shows up as one clear failure
// rather than as puzzling failures in the tests that use it.
namespace {

constexpr int kServiceTimeoutMs = 10000;
const QString kKeychainService = QStringLiteral("com.corvanta.keychain.test");

// Runs a keychain job to its end, or until the timeout; returns false on timeout.
bool runJob(QKeychain::Job &job)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kServiceTimeoutMs, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!finished)
        loop.exec();
    return finished;
}

} // namespace

class DesktopHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS"))
            GTEST_SKIP() << "desktop tests need the private desktop: run them through "
                            "scripts/harness or scripts/test";
    }
};

TEST_F(DesktopHarness, XServerIsConnected)
{
    EXPECT_EQ(QGuiApplication::platformName(), "xcb");
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    EXPECT_NE(x11->connection(), nullptr);
}

TEST_F(DesktopHarness, SecretServiceWritesReadsAndDeletes)
{
    const QString key = "harness-" + QUuid::createUuid().toString(QUuid::WithoutBraces);

    QKeychain::WritePasswordJob write(kKeychainService);
    write.setKey(key);
    write.setTextData("s3cret");
    ASSERT_TRUE(runJob(write)) << "write timed out";
    ASSERT_EQ(write.error(), QKeychain::NoError) << write.errorString().toStdString();

    QKeychain::ReadPasswordJob read(kKeychainService);
    read.setKey(key);
    ASSERT_TRUE(runJob(read)) << "read timed out";
    ASSERT_EQ(read.error(), QKeychain::NoError) << read.errorString().toStdString();
    EXPECT_EQ(read.textData(), "s3cret");

    QKeychain::DeletePasswordJob remove(kKeychainService);
    remove.setKey(key);
    ASSERT_TRUE(runJob(remove)) << "delete timed out";
    EXPECT_EQ(remove.error(), QKeychain::NoError) << remove.errorString().toStdString();

    QKeychain::ReadPasswordJob readAgain(kKeychainService);
    readAgain.setKey(key);
    ASSERT_TRUE(runJob(readAgain)) << "second read timed out";
    EXPECT_EQ(readAgain.error(), QKeychain::EntryNotFound);
}

TEST_F(DesktopHarness, TrayHostIsPresent)
{
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
}

TEST_F(DesktopHarness, PulseAudioListsToneAndSinkMonitor)
{
    QProcess pactl;
    pactl.start("pactl", {"list", "short", "sources"});
    ASSERT_TRUE(pactl.waitForFinished(kServiceTimeoutMs)) << "pactl did not finish";
    ASSERT_EQ(pactl.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(pactl.exitCode(), 0) << pactl.readAllStandardError().toStdString();

    QStringList names;
    for (const QString &line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 1)
            names << fields.at(1);
    }
    EXPECT_TRUE(names.contains("tone")) << names.join(", ").toStdString();
    EXPECT_TRUE(names.contains("nullsink.monitor")) << names.join(", ").toStdString();
}
