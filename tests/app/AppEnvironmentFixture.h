#pragma once

#include "app/AppEnvironment.h"
#include "model/UserDefaults.h"
#include "support/EventLog.h"
#include "support/FakeAppPlatform.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// An application environment over doubles: a private settings file, captures in a private
// temporary folder, and the constructions and destructions of the graph in `lifecycle`.
class AppEnvironmentFixture : public ::testing::Test {
protected:
    QString settingsPath() const { return m_settingsDir.path() + QStringLiteral("/c.conf"); }

    // Doubles for the desktop, the private settings file, constructions noted in `lifecycle`.
    AppEnvironment::Options environmentOptions()
    {
        AppEnvironment::Options options;
        options.makePlatform = [this] { return fakes.platform(); };
        options.makeUserDefaults = [this] {
            return std::make_unique<UserDefaults>(settingsPath());
        };
        options.lifecycleObserver = [this](const QString &event) { lifecycle.add(event); };
        return options;
    }

    AppEnvironment &build()
    {
        environment = std::make_unique<AppEnvironment>(environmentOptions());
        return *environment;
    }

    // What is grabbed now, as "<key code>/<modifiers>", in registration order.
    QStringList grabbed() const
    {
        QStringList result;
        for (const FakeGlobalHotkeys::Grab &grab : fakes.globalHotkeys->active) {
            result << QStringLiteral("%1/%2")
                          .arg(grab.combination.keyCode)
                          .arg(grab.combination.modifiers);
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
