// Typed text of the Windows keyboard hook: ToUnicodeEx in the layout of the thread in front, dead keys
// composed with Unicode's canonical composition.
#include "win32typedtext.h"

#include <utility>

namespace {

// ToUnicodeEx leaves the keyboard state as it is (Windows 10 1607 and later, which Qt 6 requires).
constexpr UINT keepKeyboardState = 0x4;

// The combining mark of a dead key's accent (as layouts give it, spacing), or 0.
wchar_t combiningMarkOf(wchar_t accent) {
    switch (accent) {
    case L'`':
        return 0x0300;
    case 0x00B4: // ´
    case L'\'':  // US-International
    case 0x0384: // Greek tonos
        return 0x0301;
    case L'^':
    case 0x02C6:
        return 0x0302;
    case L'~':
    case 0x02DC:
        return 0x0303;
    case 0x00AF: // macron
        return 0x0304;
    case 0x02D8: // breve
        return 0x0306;
    case 0x02D9: // dot above
        return 0x0307;
    case 0x00A8: // diaeresis
    case L'"':   // US-International
        return 0x0308;
    case 0x02DA: // ring above
    case 0x00B0:
        return 0x030A;
    case 0x02DD: // double acute
        return 0x030B;
    case 0x02C7: // caron
        return 0x030C;
    case 0x00B8: // cedilla
        return 0x0327;
    case 0x02DB: // ogonek
        return 0x0328;
    default:
        return 0;
    }
}

std::wstring normalized(NORM_FORM form, const std::wstring& text) {
    wchar_t result[16];
    const int size = NormalizeString(form, text.c_str(), static_cast<int>(text.size()), result, 16);
    return size > 0 ? std::wstring(result, static_cast<std::size_t>(size)) : text;
}

// Without control characters (Return, Tab, Backspace, Escape), which type no text.
std::string utf8(const std::wstring& text) {
    std::wstring printable;
    for (const wchar_t c : text)
        if (c >= 0x20 && c != 0x7f)
            printable += c;
    if (printable.empty())
        return {};
    const int length = static_cast<int>(printable.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, printable.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, printable.c_str(), length, result.data(), size, nullptr, nullptr);
    return result;
}

} // namespace

std::wstring withDeadKey(wchar_t accent, const std::wstring& typed) {
    if (typed == L" ")
        return std::wstring(1, accent);
    if (typed.empty() || (typed.size() > 1 && typed[0] == accent))
        return typed;
    const std::wstring first = typed.substr(0, 1);
    if (const wchar_t mark = combiningMarkOf(accent)) {
        if (normalized(NormalizationD, first).find(mark) != std::wstring::npos)
            return typed;
        const std::wstring composed = normalized(NormalizationC, first + mark);
        if (composed.size() == 1)
            return composed + typed.substr(1);
    }
    return accent + typed;
}

std::string Win32TypedText::press(const KBDLLHOOKSTRUCT& key, const Modifiers& modifiers) {
    if (key.vkCode == VK_PACKET) {
        // A character a program typed as itself: a surrogate half is no text of its own.
        const wchar_t character = static_cast<wchar_t>(key.scanCode);
        return character >= 0xD800 && character <= 0xDFFF ? std::string() : utf8(std::wstring(1, character));
    }
    const bool control = modifiers.leftControl || modifiers.rightControl;
    const bool alt = modifiers.leftAlt || modifiers.rightAlt;
    if (control != alt)
        return {};
    BYTE state[256] = {};
    const auto hold = [&state](int virtualKey, bool down) {
        state[virtualKey] = down ? 0x80 : 0;
    };
    hold(VK_LSHIFT, modifiers.leftShift);
    hold(VK_RSHIFT, modifiers.rightShift);
    hold(VK_SHIFT, modifiers.leftShift || modifiers.rightShift);
    hold(VK_LCONTROL, modifiers.leftControl);
    hold(VK_RCONTROL, modifiers.rightControl);
    hold(VK_CONTROL, control);
    hold(VK_LMENU, modifiers.leftAlt);
    hold(VK_RMENU, modifiers.rightAlt);
    hold(VK_MENU, alt);
    state[VK_CAPITAL] = modifiers.capsLock ? 1 : 0;

    const DWORD thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    // A dead key typed in another window has no bearing on this one.
    if (thread != m_accentThread)
        m_accent = 0;
    wchar_t characters[8] = {};
    const int count = ToUnicodeEx(key.vkCode, key.scanCode, state, characters, 8, keepKeyboardState,
                                  GetKeyboardLayout(thread));
    if (count < 0) {
        // A dead key types nothing until the next key; a second one types both accents.
        if (m_accent)
            return utf8({std::exchange(m_accent, 0), characters[0]});
        m_accent = characters[0];
        m_accentThread = thread;
        return {};
    }
    // Shift, arrows and their kind leave a dead key waiting.
    if (count == 0)
        return {};
    std::wstring typed(characters, static_cast<std::size_t>(count < 8 ? count : 8));
    if (m_accent)
        typed = withDeadKey(std::exchange(m_accent, 0), typed);
    return utf8(typed);
}
