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

// Five words (two of German and Russian layouts' letters), and moreWords beginning with "zeb" for a pop-up
// with much to choose from.
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
                     "INSERT INTO Words VALUES ('zebra', NULL), ('zebu', NULL), ('hello', NULL),"
                     " ('\u00fcberall', NULL), ('\u043f\u0440\u0438\u0432\u0435\u0442', NULL);",
                     nullptr, nullptr, nullptr) == SQLITE_OK &&
        (moreWords == 0 || sqlite3_exec(db, more.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_close(db);
    expect(made, "cannot make words.mdb");
}

// The program's settings: both word sources on, Tab completes.
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

class QuenloRun {
public:
    QuenloRun(const std::filesystem::path& quenlo, const std::filesystem::path& folder, int moreWords = 0) {
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

    ~QuenloRun() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenlo"); }

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
};

} // namespace win32testing
