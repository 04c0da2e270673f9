#pragma once

#include <QtGlobal>

// The one long-lived instance of T, reached as T::shared(). The application
// environment creates and owns every such object and registers it here; the
// registration ends with the object, so a stale pointer is never handed out.
//
//   class Foo : public QObject, public SharedInstance<Foo> { ... };
//   environment: auto foo = std::make_unique<Foo>(); foo->makeShared();
template <typename T>
class SharedInstance {
public:
    static T *shared() { return s_instance; }
    void makeShared()
    {
        Q_ASSERT(s_instance == nullptr || s_instance == static_cast<T *>(this));
        s_instance = static_cast<T *>(this);
    }

protected:
    SharedInstance() = default;
    ~SharedInstance()
    {
        if (s_instance == static_cast<T *>(this))
            s_instance = nullptr;
    }

private:
    static inline T *s_instance = nullptr;
};
