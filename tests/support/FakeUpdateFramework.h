#pragma once

#include "platform/UpdateFramework.h"

// An update framework whose readiness the test sets; counts starts and checks.
class FakeUpdateFramework : public platform::UpdateFramework {
    Q_OBJECT

public:
    void startUpdater() override { ++starts; }
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { ++checks; }

    void setCanCheck(bool value)
    {
        canCheck = value;
        emit canCheckForUpdatesChanged(value);
    }

    bool canCheck = false;
    int starts = 0;
    int checks = 0;
};
