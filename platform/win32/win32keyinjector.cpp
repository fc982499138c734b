// Keystrokes sent into the focused Windows application with SendInput.
#include "win32keyinjector.h"

#include "win32keytags.h"
#include "win32pastegate.h"

#include <windows.h>

#include <array>
#include <vector>

namespace {

INPUT keyInput(WORD virtualKey, bool up, bool extended, std::uintptr_t tag) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    input.ki.dwExtraInfo = tag;
    return input;
}

bool isDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

} // namespace

Win32KeyInjector::Win32KeyInjector(std::shared_ptr<Win32PasteGate> gate)
    : m_gate(std::move(gate)) {}

Win32KeyInjector::~Win32KeyInjector() = default;

bool Win32KeyInjector::sendShiftInsert() {
    return m_gate ? m_gate->request() : injectShiftInsert();
}

bool Win32KeyInjector::injectShiftInsert() {
    std::vector<INPUT> inputs;
    // The application must see Shift+Insert alone, not Ctrl+Shift+Insert.
    static constexpr std::array<int, 6> others{VK_LCONTROL, VK_RCONTROL, VK_LMENU,
                                               VK_RMENU,    VK_LWIN,     VK_RWIN};
    for (const int key : others) {
        if (isDown(key)) {
            const bool extended = key != VK_LCONTROL && key != VK_LMENU;
            inputs.push_back(keyInput(static_cast<WORD>(key), true, extended, Win32KeyTag::paste));
        }
    }
    const bool shiftHeld = isDown(VK_SHIFT);
    if (!shiftHeld)
        inputs.push_back(keyInput(VK_SHIFT, false, false, Win32KeyTag::paste));
    inputs.push_back(keyInput(VK_INSERT, false, true, Win32KeyTag::paste));
    inputs.push_back(keyInput(VK_INSERT, true, true, Win32KeyTag::paste));
    if (!shiftHeld)
        inputs.push_back(keyInput(VK_SHIFT, true, false, Win32KeyTag::paste));
    inputs.back().ki.dwExtraInfo = Win32KeyTag::pasteEnd;
    const UINT count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}
