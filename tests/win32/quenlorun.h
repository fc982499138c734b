// The real quenlo.exe under test on Windows (run under Wine): started beside a temporary
// words.mdb with its settings in the registry, and its pop-up looked at from outside.
#pragma once

#include "win32testing.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

namespace win32testing {

using namespace std::chrono_literals;

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

// Three words, and moreWords beginning with "zeb" for a pop-up with much to choose from.
inline void makeWords(const std::filesystem::path& path, int moreWords = 0) {
    sqlite3* db = nullptr;
    const bool opened = sqlite3_open(path.string().c_str(), &db) == SQLITE_OK;
    const std::string more = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                             std::to_string(moreWords) +
                             ") INSERT INTO Words (Text1) SELECT 'zeb' || i FROM n;";
    const bool made =
        opened &&
        sqlite3_exec(db,
                     "CREATE TABLE Words (Text1 TEXT COLLATE NOCASE, Type1 TEXT);"
                     "INSERT INTO Words VALUES ('zebra', NULL), ('zebu', NULL), ('hello', NULL);",
                     nullptr, nullptr, nullptr) == SQLITE_OK &&
        (moreWords == 0 || sqlite3_exec(db, more.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_close(db);
    expect(made, "cannot make words.mdb");
}

// The program's settings: both word sources on, Tab completes.
inline const wchar_t settingsKey[] = L"Software\\Quenlo";
inline void writeSettings() {
    HKEY key = nullptr;
    expect(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Quenlo\\Quenlo\\Type", 0, nullptr, 0, KEY_WRITE,
                           nullptr, &key, nullptr) == ERROR_SUCCESS,
           "cannot write the settings");
    for (const auto& [name, value] :
         {std::pair{L"C5", L"1"}, {L"C4", L"1"}, {L"Opt1", L"false"}, {L"Opt2", L"true"}})
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
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

inline void start(Process& process, std::wstring command, const std::wstring& what) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    expect(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process.info),
           "cannot start " + narrow(what));
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

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    return pumpUntil(condition, limit);
}

class QuenloRun {
public:
    QuenloRun(const std::filesystem::path& quenlo, const std::filesystem::path& folder, int moreWords = 0)
        : m_folder(folder) {
        std::filesystem::create_directories(folder);
        const std::filesystem::path program = folder / "quenlo.exe";
        std::filesystem::copy_file(quenlo, program, std::filesystem::copy_options::overwrite_existing);
        makeWords(folder / "words.mdb", moreWords);
        writeSettings();
        // The DLLs and plugins stay in the build's folder.
        const std::wstring bin = quenlo.parent_path().wstring();
        wchar_t path[32767];
        const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32767);
        SetEnvironmentVariableW(L"PATH", (bin + L";" + std::wstring(path, length)).c_str());
        SetEnvironmentVariableW(L"QT_PLUGIN_PATH", bin.c_str());
        start(m_quenlo, L"\"" + program.wstring() + L"\"", L"quenlo");
        // The hook is running before the main window is shown.
        expect(waitFor([this] {
                   return !m_quenlo.running() ||
                          findWindow(m_quenlo.info.dwProcessId, nullptr, nullptr, true);
               }) &&
                   m_quenlo.running(),
               "quenlo showed no window");
    }

    ~QuenloRun() { RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey); }

    HWND popup() const { return findWindow(m_quenlo.info.dwProcessId, nullptr, L"Form2", false); }
    bool popupShown() const {
        const HWND window = popup();
        return window && IsWindowVisible(window);
    }

    // Types the start of a word into the focused field and waits for the pop-up; checks that it
    // neither took the focus nor lost its topmost place.
    void offer(const std::string& prefix, HWND focused) {
        expect(type(lettersOf(prefix)), "SendInput failed");
        expect(waitFor([this] { return popupShown(); }), "no pop-up after \"" + prefix + "\"");
        waitIdle();
        const LONG_PTR styles = GetWindowLongPtrW(popup(), GWL_EXSTYLE);
        expect((styles & WS_EX_NOACTIVATE) && (styles & WS_EX_TOPMOST) && (styles & WS_EX_TOOLWINDOW),
               "the pop-up lacks WS_EX_NOACTIVATE, WS_EX_TOPMOST or WS_EX_TOOLWINDOW: extended styles " +
                   std::to_string(styles));
        const HWND front = GetForegroundWindow();
        wchar_t title[128] = {};
        GetWindowTextW(front, title, 128);
        expect(front == focused, "the focus moved to \"" + narrow(title) + "\" when the pop-up showed");
    }

    // A user sees the pop-up before pressing a key for it: waits until the program has dealt with
    // what it had queued (painting it), as a key that comes while it is busy goes through.
    void waitIdle() {
        DWORD_PTR ignored = 0;
        expect(SendMessageTimeoutW(popup(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0 &&
                   waitFor([this] { return !GetUpdateRect(popup(), nullptr, FALSE); }) &&
                   WaitForInputIdle(m_quenlo.info.hProcess, 10000) == 0,
               "the program did not become idle");
    }

    // Return ends the word; waits until it has reached the field and the pop-up is gone.
    void endWord(HWND edit = nullptr) {
        expect(type({VK_RETURN}), "SendInput failed");
        if (edit)
            expect(waitFor([edit] {
                       const std::wstring text = windowText(edit);
                       return text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0;
                   }),
                   "Return did not reach the field");
        expect(waitFor([this] { return !popupShown(); }), "the pop-up stayed up after Return");
    }

    Process m_quenlo;

private:
    std::filesystem::path m_folder;
};

// Starts the edit probe (beside this program) titled title and waits until it has the front; its
// window and text field come back.
inline std::pair<HWND, HWND> startEditProbe(Process& probe, const std::wstring& title) {
    wchar_t self[MAX_PATH];
    const std::filesystem::path bin(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
    start(probe,
          L"\"" + (bin.parent_path() / "quenlo_win32_editprobe.exe").wstring() + L"\" \"" + title + L"\"",
          L"the edit probe");
    HWND window = nullptr;
    HWND edit = nullptr;
    expect(waitFor([&] {
               window = findWindow(probe.info.dwProcessId, nullptr, title.c_str(), true);
               return window && (edit = FindWindowExW(window, nullptr, L"Edit", nullptr));
           }),
           "the edit probe showed no window");
    // It brings itself to the front when it starts; only then is the front settled.
    expect(waitFor([&] { return GetForegroundWindow() == window; }),
           "the edit probe did not come to the front");
    return {window, edit};
}

} // namespace win32testing
