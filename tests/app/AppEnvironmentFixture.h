#pragma once

#include "app/AppEnvironment.h"
#include "model/UserDefaults.h"
#include "platform/TempDirScope.h"
#include "support/EventLog.h"
#include "support/FakeAppPlatform.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// An application environment over doubles: a private settings file, captures in a private
// temporary folder, and the constructions and destructions of the graph in `lifecycle`.
class AppEnvironmentFixture : public ::testing::Test {
protected:
    QString settingsPath() const { return m_settingsDir.path() + QStringLiteral("/c.conf"); }

    AppEnvironment &build()
    {
        AppEnvironment::Options options;
        options.makePlatform = [this] { return fakes.platform(); };
        options.makeUserDefaults = [this] { return std::make_unique<UserDefaults>(settingsPath()); };
        options.lifecycleObserver = [this](const QString &event) { lifecycle.add(event); };
        environment = std::make_unique<AppEnvironment>(std::move(options));
        return *environment;
    }

    // What is grabbed now, as "<key code>/<modifiers>", in registration order.
    QStringList grabbed() const
    {
        QStringList result;
        for (const FakeGlobalHotkeys::Grab &grab : fakes.globalHotkeys->active) {
            result << QStringLiteral("%1/%2").arg(grab.combination.keyCode).arg(
                          grab.combination.modifiers);
        }
        return result;
    }

    TempDirScope tempDir;
    QTemporaryDir m_settingsDir;
    LogCapture log;
    EventLog lifecycle;
    FakeAppPlatform fakes;
    std::unique_ptr<AppEnvironment> environment;
};
