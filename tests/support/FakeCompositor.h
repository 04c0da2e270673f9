#pragma once

#include "platform/Compositor.h"

class FakeCompositor : public platform::Compositor {
public:
    explicit FakeCompositor(bool compositing = true) : compositing(compositing) {}
    bool isCompositing() const override { return compositing; }

    bool compositing;
};
