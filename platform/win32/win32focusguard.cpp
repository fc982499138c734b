// Focus and foreground events through SetWinEventHook, out of context, and a light timer for the
// changes that send none: both run on the thread that started the guard, as it dispatches its
// messages.
#include "win32focusguard.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <mutex>
#include <string>
#include <vector>

struct Win32FocusGuard::State {
    mutable std::mutex mutex;
    FocusState focus;
    bool watchPasswordFields = true;
    ChangeHandler handler;
    std::vector<HWINEVENTHOOK> hooks;
    UINT_PTR timer = 0;
    // The last foreground window, whose program is not looked up again.
    HWND applicationWindow = nullptr;
    FocusedApplication application;

    void refresh();
};

namespace {

// A window brought back to the front whose field had the focus before sends no focus event (under
// Wine a new window's field does not always either): looked at this often, well within the time a
// user takes to start typing into a field that just showed; it costs a few calls, no process.
constexpr UINT pollMs = 100;

// The guards that listen, for the callbacks, which carry no context; touched on the UI thread only.
std::vector<Win32FocusGuard::State*>& listeningGuards() {
    static std::vector<Win32FocusGuard::State*> guards;
    return guards;
}

void refreshAll() {
    // A copy: a handler may stop or start a guard.
    const std::vector<Win32FocusGuard::State*> guards = listeningGuards();
    for (Win32FocusGuard::State* guard : guards)
        if (std::find(listeningGuards().begin(), listeningGuards().end(), guard) != listeningGuards().end())
            guard->refresh();
}

void CALLBACK onFocusEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    refreshAll();
}

void CALLBACK onPoll(HWND, UINT, UINT_PTR, DWORD) {
    refreshAll();
}

std::string utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

FocusedApplication applicationOf(DWORD processId) {
    FocusedApplication application;
    application.thisProgram = processId == GetCurrentProcessId();
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return application;
    wchar_t path[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (QueryFullProcessImageNameW(process, 0, path, &length)) {
        std::wstring file(path, length);
        file = file.substr(file.find_last_of(L"\\/") + 1);
        application.name = utf8(file);
        // File names are the same in any case on Windows: the id is kept in small letters.
        std::transform(file.begin(), file.end(), file.begin(),
                       [](wchar_t c) { return wchar_t(std::towlower(c)); });
        application.id = utf8(file);
    }
    CloseHandle(process);
    return application;
}

} // namespace

bool win32IsPasswordField(std::wstring_view className, long long style) {
    if (!(style & ES_PASSWORD))
        return false;
    std::wstring name(className);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](wchar_t c) { return wchar_t(std::towlower(c)); });
    // ES_PASSWORD is an edit-control style; other classes use its bit for something else.
    return name == L"edit" || name.rfind(L"richedit", 0) == 0;
}

void Win32FocusGuard::State::refresh() {
    FocusState next;
    const HWND front = GetForegroundWindow();
    DWORD processId = 0;
    const DWORD thread = front ? GetWindowThreadProcessId(front, &processId) : 0;
    if (front) {
        if (front != applicationWindow) {
            applicationWindow = front;
            application = applicationOf(processId);
        }
        next.application = application;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    bool watch = false;
    {
        std::lock_guard lock(mutex);
        watch = watchPasswordFields;
    }
    if (watch && thread && GetGUIThreadInfo(thread, &info) && info.hwndFocus) {
        wchar_t className[64] = {};
        GetClassNameW(info.hwndFocus, className, 64);
        next.passwordField = win32IsPasswordField(className, GetWindowLongPtrW(info.hwndFocus, GWL_STYLE));
    }
    {
        std::lock_guard lock(mutex);
        if (next == focus)
            return;
        focus = next;
    }
    if (handler)
        handler(next);
}

Win32FocusGuard::Win32FocusGuard()
    : m_state(std::make_shared<State>()) {}

Win32FocusGuard::~Win32FocusGuard() {
    for (const HWINEVENTHOOK hook : m_state->hooks)
        UnhookWinEvent(hook);
    if (m_state->timer)
        KillTimer(nullptr, m_state->timer);
    auto& guards = listeningGuards();
    guards.erase(std::remove(guards.begin(), guards.end(), m_state.get()), guards.end());
}

bool Win32FocusGuard::start(ChangeHandler handler, std::string& error) {
    m_state->handler = std::move(handler);
    // The foreground window, and the focus within any window: a field takes the focus after its
    // window came to the front.
    for (const DWORD event : {DWORD(EVENT_SYSTEM_FOREGROUND), DWORD(EVENT_OBJECT_FOCUS)}) {
        const HWINEVENTHOOK hook =
            SetWinEventHook(event, event, nullptr, onFocusEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
        if (!hook) {
            error = "the focus cannot be watched (SetWinEventHook failed with error " +
                    std::to_string(GetLastError()) + ")";
            for (const HWINEVENTHOOK made : m_state->hooks)
                UnhookWinEvent(made);
            m_state->hooks.clear();
            return false;
        }
        m_state->hooks.push_back(hook);
    }
    listeningGuards().push_back(m_state.get());
    m_state->timer = SetTimer(nullptr, 0, pollMs, onPoll);
    m_state->refresh();
    return true;
}

FocusState Win32FocusGuard::state() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->focus;
}

void Win32FocusGuard::setWatchPasswordFields(bool watch) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->watchPasswordFields = watch;
    }
    if (!m_state->hooks.empty())
        m_state->refresh();
}
