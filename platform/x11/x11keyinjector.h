// Keystroke injection on X11 desktops: XTest Shift+Insert into the focused window.
#pragma once

#include "platform/keyinjector.h"

#include <memory>

class X11Display;

class X11KeyInjector final : public KeyInjector {
public:
    explicit X11KeyInjector(std::shared_ptr<X11Display> display);
    ~X11KeyInjector() override;

    bool sendShiftInsert() override;
    std::string name() const override { return "XTest"; }

private:
    std::shared_ptr<X11Display> m_display;
};
