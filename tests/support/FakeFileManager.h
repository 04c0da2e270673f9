#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QMutex>
#include <QString>

// The desktop's file manager as the session bus offers it, on a bus connection of its own:
// keeps every call it gets (on whichever thread the bus delivers it) and answers it. For the
// harness's private session bus only.
class FakeFileManager final : public QDBusVirtualObject {
public:
    static constexpr const char *name = "org.freedesktop.FileManager1";
    static constexpr const char *path = "/org/freedesktop/FileManager1";

    FakeFileManager()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("corvanta-test-file-manager")))
    {
        registered = m_bus.registerVirtualObject(QString::fromLatin1(path), this) &&
                     m_bus.registerService(QString::fromLatin1(name));
    }
    ~FakeFileManager() override
    {
        m_bus.unregisterService(QString::fromLatin1(name));
        m_bus.unregisterObject(QString::fromLatin1(path));
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        {
            const QMutexLocker lock(&m_mutex);
            m_calls << message;
        }
        connection.send(message.createReply());
        return true;
    }
    QList<QDBusMessage> calls() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_calls;
    }

    bool registered = false;

private:
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    QList<QDBusMessage> m_calls;
};
