#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

// Sets or clears environment variables for the test's lifetime.
class EnvironmentScope {
public:
    EnvironmentScope() = default;
    EnvironmentScope(const EnvironmentScope &) = delete;
    EnvironmentScope &operator=(const EnvironmentScope &) = delete;

    void set(const char *name, const QString &value)
    {
        save(name);
        qputenv(name, value.toLocal8Bit());
    }
    void unset(const char *name)
    {
        save(name);
        qunsetenv(name);
    }
    ~EnvironmentScope()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value())
                qputenv(it.key().constData(), *it.value());
            else
                qunsetenv(it.key().constData());
        }
    }

private:
    void save(const char *name)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
    }

    QHash<QByteArray, std::optional<QByteArray>> m_saved;
};
