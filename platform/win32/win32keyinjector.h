// Keystrokes sent into the focused Windows application with SendInput.
#pragma once

#include "platform/keyinjector.h"

#include <memory>

class Win32PasteGate;

class Win32KeyInjector final : public KeyInjector {
public:
    explicit Win32KeyInjector(std::shared_ptr<Win32PasteGate> gate);
    ~Win32KeyInjector() override;

    bool sendShiftInsert() override;
    std::string name() const override { return "Win32"; }

    // The tagged Shift+Insert itself, in one SendInput, Ctrl, Alt and the Windows keys let go first.
    static bool injectShiftInsert();

private:
    std::shared_ptr<Win32PasteGate> m_gate;
};
