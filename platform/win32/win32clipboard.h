// The Windows clipboard around the paste of a completion: what the user had is kept and put back.
#pragma once

#include "platform/clipboard.h"

#include <memory>

class Win32PasteGate;

class Win32Clipboard final : public Clipboard {
public:
    // The gate tells when a paste has passed the keyboard hook: a read of the placed text before then
    // is not the application's.
    explicit Win32Clipboard(std::shared_ptr<Win32PasteGate> gate);
    ~Win32Clipboard() override;

    // Waits at most about 100 ms, letting a clipboard owner on this thread render meanwhile.
    Placement placeForPaste(const QString& text) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
