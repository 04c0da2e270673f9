#pragma once

#include <QObject>

namespace platform {

// Whether a compositing manager runs: with one, translucent windows blend with the desktop and
// a window's hidden parts can be captured.
class Compositor : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Compositor() override = default;
    virtual bool isCompositing() const = 0;

signals:
    // A compositing manager started or ended; read isCompositing() for which.
    void compositingChanged();
};

} // namespace platform
