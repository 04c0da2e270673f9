#pragma once

#include <QString>
#include <optional>

namespace platform {

// The program's own entry in the desktop's list of programs started at login.
class LoginItem {
public:
    enum class Status : quint8 {
        enabled,       // registered and would start at the next login
        notRegistered, // no entry, or an entry the user switched off
        notFound,      // an entry that cannot start the program
    };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // Each returns the reason when the change failed, nothing when it succeeded.
    [[nodiscard]] virtual std::optional<QString> registerItem() = 0;
    [[nodiscard]] virtual std::optional<QString> unregisterItem() = 0;
};

} // namespace platform
