#pragma once

#include "platform/LoginItem.h"

// A login item whose answers the test sets. Registering or unregistering
// fails with `failure` when that is set, else moves the status on.
class FakeLoginItem : public platform::LoginItem {
public:
    Status status() const override { return currentStatus; }

    std::optional<QString> registerItem() override
    {
        ++registerCalls;
        if (!failure)
            currentStatus = statusAfterRegister;
        return failure;
    }

    std::optional<QString> unregisterItem() override
    {
        ++unregisterCalls;
        if (!failure)
            currentStatus = Status::notRegistered;
        return failure;
    }

    Status currentStatus = Status::notRegistered;
    Status statusAfterRegister = Status::enabled;
    std::optional<QString> failure;
    int registerCalls = 0;
    int unregisterCalls = 0;
};
