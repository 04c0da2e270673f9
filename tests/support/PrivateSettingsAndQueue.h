#pragma once

#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeLoginItem.h"
#include "support/TempDirScope.h"

#include <QTemporaryDir>

// A settings file of the test's own, captures in a private temporary folder and an empty queue
// of eight.
struct PrivateSettingsAndQueue {
    TempDirScope tempDir;
    QTemporaryDir settingsDir;
    UserDefaults defaults{settingsDir.path() + QStringLiteral("/c.conf")};
    FakeLoginItem loginItem;
    SettingsStore settings{defaults, loginItem};
    CaptureQueue queue{8};
};
