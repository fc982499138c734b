// Typing like a user and looking at windows, for the Windows tests: SendInput without our tags,
// message pumping, waiting on conditions rather than sleeping, and what the user copied.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace win32testing {

using namespace std::chrono_literals;

// A press (or a release) of a key as the user's keyboard sends it.
inline INPUT userInput(WORD virtualKey, bool up = false) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    const bool extended = virtualKey == VK_UP || virtualKey == VK_DOWN || virtualKey == VK_INSERT ||
                          virtualKey == VK_RCONTROL || virtualKey == VK_RMENU;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

inline std::vector<INPUT> taps(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (const WORD key : keys) {
        inputs.push_back(userInput(key));
        inputs.push_back(userInput(key, true));
    }
    return inputs;
}

// Types the keys in one SendInput: as fast as a user can type.
inline bool type(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs = taps(keys);
    const UINT count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

inline std::vector<WORD> lettersOf(const std::string& text) {
    std::vector<WORD> keys;
    for (const char c : text)
        keys.push_back(c == ' ' ? VK_SPACE : static_cast<WORD>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    return keys;
}

// Dispatches this thread's messages until the condition holds or the time runs out.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// WM_GETTEXT works across processes, unlike GetWindowText on another process's control.
inline std::wstring windowText(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

inline bool activate(HWND window) {
    SetForegroundWindow(window);
    return GetForegroundWindow() == window;
}

struct Failed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void expect(bool condition, const std::string& what) {
    if (!condition)
        throw Failed(what);
}

inline std::string narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text)
        out += c == L'\r'   ? std::string("\\r")
               : c == L'\n' ? std::string("\\n")
               : c < 128    ? std::string(1, char(c))
                            : "?";
    return out;
}

struct Process {
    PROCESS_INFORMATION info{};
    ~Process() {
        if (info.hProcess) {
            TerminateProcess(info.hProcess, 0);
            WaitForSingleObject(info.hProcess, 10000);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    bool running() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
};

inline bool launch(Process& process, std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process.info);
}

inline void start(Process& process, std::wstring command, const std::wstring& what) {
    expect(launch(process, std::move(command)), "cannot start " + narrow(what));
}

// A top-level window of the process with the class (or any) and title (or any).
inline HWND findWindow(DWORD processId, const wchar_t* className, const wchar_t* title, bool visibleOnly) {
    HWND found = nullptr;
    for (HWND window = GetTopWindow(nullptr); window && !found; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != processId || (visibleOnly && !IsWindowVisible(window)))
            continue;
        wchar_t text[256] = {};
        if (className && (!GetClassNameW(window, text, 256) || wcscmp(text, className) != 0))
            continue;
        if (title && (!GetWindowTextW(window, text, 256) || wcscmp(text, title) != 0))
            continue;
        found = window;
    }
    return found;
}

// Runs a program of the machine Wine runs on (Wine starts those as well), and waits for it a while.
inline bool runUnixProgram(std::wstring command) {
    Process process;
    if (!launch(process, std::move(command)))
        return false;
    // Wine gives such a process no handle to wait on: the caller waits for what it does.
    if (process.info.hProcess)
        WaitForSingleObject(process.info.hProcess, 10000);
    return true;
}

// Wine takes the keyboard layout of every window from the X server; on Windows a layout is chosen otherwise.
inline bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Under Wine: gives the X server the layout xkb, as X names it ("de").
inline bool useXkbLayout(const std::wstring& xkb) {
    return underWine() && runUnixProgram(L"/usr/bin/setxkbmap " + xkb);
}

// Puts the X server's layout back when what changed it ends, however it ends.
struct XkbLayoutBack {
    ~XkbLayoutBack() { useXkbLayout(L"us"); }
};

// The key that types character (for a dead key, its accent) without modifiers in the layout of the
// window in front, or 0; asked without changing the keyboard state.
inline WORD keyTyping(wchar_t character) {
    const HKL layout = GetKeyboardLayout(GetWindowThreadProcessId(GetForegroundWindow(), nullptr));
    const BYTE state[256] = {};
    for (UINT key = 1; key < 0xFF; ++key) {
        wchar_t typed[8] = {};
        const int count =
            ToUnicodeEx(key, MapVirtualKeyExW(key, MAPVK_VK_TO_VSC, layout), state, typed, 8, 0x4, layout);
        if ((count == 1 || count == -1) && typed[0] == character)
            return static_cast<WORD>(key);
    }
    return 0;
}

// Under Wine, with the X server's layout xkb, the keys of text once this thread has them all; empty when
// the layout does not come. Each thread of Wine takes a new layout on its own, when it next looks at the X
// server, and at times one keeps the old keys after a change: the change is made again, three times in all.
inline std::vector<WORD> keysOfXkbLayout(const std::wstring& xkb, const std::wstring& text) {
    std::vector<WORD> keys;
    const auto found = [&] {
        keys.clear();
        for (const wchar_t c : text)
            if (const WORD key = keyTyping(c))
                keys.push_back(key);
        return keys.size() == text.size();
    };
    for (int attempt = 0; attempt < 3; ++attempt)
        if (useXkbLayout(xkb) && waitFor(found, 5s))
            return keys;
    return {};
}

// Starts what and waits for its window (of the class, titled title, or any) holding an EDIT; the window
// and the EDIT come back.
inline std::pair<HWND, HWND> startWithField(Process& process, std::wstring command, const wchar_t* className,
                                            const wchar_t* title, const std::wstring& what) {
    start(process, std::move(command), what);
    HWND window = nullptr;
    HWND edit = nullptr;
    expect(waitFor([&] {
               window = findWindow(process.info.dwProcessId, className, title, true);
               return window && (edit = FindWindowExW(window, nullptr, L"Edit", nullptr));
           }),
           narrow(what) + " showed no window with a text field");
    return {window, edit};
}

// Starts the edit probe (beside this program) titled title, with a password field when asked, and
// waits until it has the front.
inline std::pair<HWND, HWND> startEditProbe(Process& probe, const std::wstring& title,
                                            bool password = false) {
    wchar_t self[MAX_PATH];
    const std::filesystem::path bin(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
    const auto field = startWithField(probe,
                                      L"\"" + (bin.parent_path() / "quenlo_win32_editprobe.exe").wstring() +
                                          L"\" \"" + title + L"\"" + (password ? L" password" : L""),
                                      nullptr, title.c_str(), L"the edit probe");
    // It brings itself to the front when it starts; only then is the front settled.
    expect(waitFor([&] { return GetForegroundWindow() == field.first; }),
           "the edit probe did not come to the front");
    return field;
}

// What the user copied: a link as text, and a format of another program's own with bytes text has not.
class UserClipboard {
public:
    UserClipboard()
        : m_owner(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
        , m_format(RegisterClipboardFormatW(L"Quenlo Test Private Format")) {
        const wchar_t text[] = L"https://example.org/important";
        m_text.assign(reinterpret_cast<const char*>(text), sizeof(text));
    }
    ~UserClipboard() { DestroyWindow(m_owner); }

    void copy() { fill(true); }
    void clear() { fill(false); }

    // What was copied is back, both formats byte for byte (Windows may round a block's size up); after
    // clear(), nothing is there.
    void expectKept(const std::string& name) {
        std::string text;
        std::string bytes;
        int formats = 0;
        const bool kept = waitFor([&] {
            if (!OpenClipboard(m_owner))
                return false;
            formats = CountClipboardFormats();
            text = read(CF_UNICODETEXT);
            bytes = read(m_format);
            CloseClipboard();
            return m_copied ? text.compare(0, m_text.size(), m_text) == 0 &&
                                  bytes.compare(0, m_bytes.size(), m_bytes) == 0
                            : formats == 0;
        });
        std::wstring seen(text.size() / sizeof(wchar_t), L'\0');
        std::memcpy(seen.data(), text.data(), seen.size() * sizeof(wchar_t));
        expect(kept, name + ": the clipboard was not kept: it holds " + std::to_string(formats) +
                         " formats, \"" + narrow(seen.c_str()) + "\" and " + std::to_string(bytes.size()) +
                         " bytes of the private format");
    }

private:
    void fill(bool withCopy) {
        m_copied = withCopy;
        expect(waitFor([this] { return OpenClipboard(m_owner) != 0; }), "cannot open the clipboard");
        EmptyClipboard();
        const bool placed = !withCopy || (put(CF_UNICODETEXT, m_text) && put(m_format, m_bytes));
        CloseClipboard();
        expect(placed, "cannot copy to the clipboard");
    }
    static bool put(UINT format, const std::string& bytes) {
        const HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (void* target = global ? GlobalLock(global) : nullptr) {
            std::memcpy(target, bytes.data(), bytes.size());
            GlobalUnlock(global);
            if (SetClipboardData(format, global))
                return true;
        }
        if (global)
            GlobalFree(global);
        return false;
    }
    static std::string read(UINT format) {
        const HANDLE handle = GetClipboardData(format);
        const void* data = handle ? GlobalLock(handle) : nullptr;
        if (!data)
            return {};
        std::string bytes(static_cast<const char*>(data), GlobalSize(handle));
        GlobalUnlock(handle);
        return bytes;
    }

    HWND m_owner;
    UINT m_format;
    std::string m_text;
    bool m_copied = false;
    const std::string m_bytes{"\0\x01\xffquenlo\0\x7f", 11};
};

} // namespace win32testing
