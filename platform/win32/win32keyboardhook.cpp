// Windows keyboard hook: a low-level hook on a thread of its own, so that its answers never wait
// for a busy UI thread longer than a set limit (Windows removes a hook that is too slow).
//
// Keys are let through at once and handed to the handler queued, except a key that may be
// swallowed while the pop-up is up: the hook thread waits, within the limit, for the handler's
// decision. After a swallowed completion key, the keys typed next are held until the paste has
// passed the hook, then sent again, so that they land after the pasted text.
#include "win32keyboardhook.h"

#include "platform/keycodes.h"
#include "win32keytags.h"
#include "win32messagewindow.h"
#include "win32pastegate.h"
#include "win32typedtext.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr UINT pressMessage = WM_APP + 1;
constexpr UINT replayMessage = WM_APP + 2;
// Keys held behind a paste that never passes the hook (SendInput refused it) go on after this.
constexpr UINT holdLimitMs = 300;
constexpr wchar_t windowClassName[] = L"QuenloKeyboardHookReceiver";

// The handler knows the generic Shift, Ctrl and Alt codes only.
int genericKey(DWORD virtualKey) {
    switch (virtualKey) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return static_cast<int>(virtualKey);
    }
}

} // namespace

struct Win32KeyboardHook::State : std::enable_shared_from_this<Win32KeyboardHook::State> {
    struct Press {
        int virtualKey;
        // Nonzero for the press the hook thread waits on; 0 for a press that went through already.
        std::uint64_t waitId;
        // What it typed in the layout of the application in front.
        std::string text;
    };

    std::shared_ptr<Win32PasteGate> gate;
    std::chrono::milliseconds timeLimit;
    KeyHandler handler;
    HWND receiver = nullptr;
    std::thread thread;
    DWORD threadId = 0;
    std::atomic<bool> popupVisible{false};
    std::atomic<int> completionKey{KeyCode::CompletionKeyUntold};
    std::atomic<bool> numberKeys{false};

    // Shared by both threads, each holding the lock only to move a few values.
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<Press> presses;
    std::uint64_t waitingFor = 0;
    bool answerReady = false;
    bool answerSwallows = false;

    // UI thread only: what the press the handler runs for typed.
    std::string pressText;

    // Hook thread only.
    std::uint64_t lastWaitId = 0;
    // Shift, Caps Lock, Ctrl and Alt as the keys this hook saw left them, which is what the focused
    // application goes by; read from the system when the hook starts.
    Win32TypedText::Modifiers modifiers;
    bool capsLockDown = false;
    Win32TypedText typedText;
    bool holding = false;
    UINT_PTR holdTimer = 0;
    std::vector<INPUT> held;

    static std::atomic<State*> active;

    static LRESULT CALLBACK hookProc(int code, WPARAM message, LPARAM data);
    static LRESULT CALLBACK receiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onKey(WPARAM message, const KBDLLHOOKSTRUCT& key);
    void trackModifiers(DWORD virtualKey, bool release);
    bool report(int virtualKey, std::uint64_t waitId, std::string text);
    void deliverOne();
    bool answer(std::uint64_t waitId, bool swallow);
    void hold(const KBDLLHOOKSTRUCT& key);
    void replayHeld();
    void runThread(std::promise<DWORD>& started);
};

std::atomic<Win32KeyboardHook::State*> Win32KeyboardHook::State::active{nullptr};

Win32KeyboardHook::Win32KeyboardHook(std::shared_ptr<Win32PasteGate> gate, int decisionTimeLimitMs)
    : m_state(std::make_shared<State>()) {
    m_state->gate = std::move(gate);
    m_state->timeLimit = std::chrono::milliseconds(decisionTimeLimitMs);
}

Win32KeyboardHook::~Win32KeyboardHook() {
    State& state = *m_state;
    if (state.thread.joinable()) {
        // The thread lets its held keys go before it ends.
        PostThreadMessageW(state.threadId, WM_QUIT, 0, 0);
        state.thread.join();
        State* self = &state;
        State::active.compare_exchange_strong(self, nullptr);
    }
    if (state.receiver)
        DestroyWindow(state.receiver);
}

bool Win32KeyboardHook::start(KeyHandler handler, std::string& error) {
    State& state = *m_state;
    state.handler = std::move(handler);
    if (state.thread.joinable())
        return true;
    State* expected = nullptr;
    if (!State::active.compare_exchange_strong(expected, &state)) {
        error = "another keyboard hook of this program is running";
        return false;
    }

    state.receiver = createMessageWindow(windowClassName, &State::receiverProc, &state);
    if (!state.receiver) {
        error =
            "no window could be made to receive key presses (error " + std::to_string(GetLastError()) + ")";
        State::active = nullptr;
        return false;
    }

    std::promise<DWORD> started;
    std::future<DWORD> result = started.get_future();
    state.thread = std::thread([&state, &started] { state.runThread(started); });
    if (const DWORD failure = result.get(); failure != 0) {
        state.thread.join();
        DestroyWindow(state.receiver);
        state.receiver = nullptr;
        State::active = nullptr;
        error = "the keyboard hook could not be installed (error " + std::to_string(failure) + ")";
        return false;
    }
    return true;
}

std::string Win32KeyboardHook::pressText() const {
    return m_state->pressText;
}

void Win32KeyboardHook::setPopupVisible(bool visible) {
    m_state->popupVisible = visible;
}

void Win32KeyboardHook::setCompletionKey(int keyCode) {
    m_state->completionKey = keyCode;
}

void Win32KeyboardHook::setNumberKeys(bool on) {
    m_state->numberKeys = on;
}

void Win32KeyboardHook::State::runThread(std::promise<DWORD>& started) {
    threadId = GetCurrentThreadId();
    const auto down = [](int virtualKey) {
        return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
    };
    modifiers.leftShift = down(VK_LSHIFT);
    modifiers.rightShift = down(VK_RSHIFT);
    modifiers.leftControl = down(VK_LCONTROL);
    modifiers.rightControl = down(VK_RCONTROL);
    modifiers.leftAlt = down(VK_LMENU);
    modifiers.rightAlt = down(VK_RMENU);
    modifiers.capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0;
    MSG message;
    // Makes the thread's message queue before anyone posts to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &State::hookProc, GetModuleHandleW(nullptr), 0);
    started.set_value(hook ? 0 : GetLastError());
    if (!hook)
        return;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == replayMessage || (message.message == WM_TIMER && message.wParam == holdTimer))
            replayHeld();
        else
            DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    if (!held.empty())
        replayHeld();
}

LRESULT CALLBACK Win32KeyboardHook::State::hookProc(int code, WPARAM message, LPARAM data) {
    State* state = active.load();
    if (code == HC_ACTION && state)
        return state->onKey(message, *reinterpret_cast<const KBDLLHOOKSTRUCT*>(data));
    return CallNextHookEx(nullptr, code, message, data);
}

LRESULT Win32KeyboardHook::State::onKey(WPARAM message, const KBDLLHOOKSTRUCT& key) {
    const bool release = message == WM_KEYUP || message == WM_SYSKEYUP;
    const auto pass = [&] {
        return CallNextHookEx(nullptr, HC_ACTION, message, reinterpret_cast<LPARAM>(&key));
    };
    if ((key.flags & LLKHF_INJECTED) && Win32KeyTag::isOurs(key.dwExtraInfo)) {
        if (gate && !release && key.vkCode == VK_INSERT && key.dwExtraInfo == Win32KeyTag::paste)
            gate->notePassed();
        // The paste has landed, or a round of replayed keys: what was held since goes on now.
        if (holding &&
            (key.dwExtraInfo == Win32KeyTag::pasteEnd || key.dwExtraInfo == Win32KeyTag::replayEnd)) {
            if (held.empty()) {
                holding = false;
                KillTimer(nullptr, holdTimer);
            } else {
                PostThreadMessageW(threadId, replayMessage, 0, 0);
            }
        }
        return pass();
    }
    trackModifiers(key.vkCode, release);
    const int virtualKey = genericKey(key.vkCode);
    // Worked out as the key comes, before anything typed after it.
    std::string text = release ? std::string() : typedText.press(key, modifiers);
    // A key for the pop-up right behind one it swallowed (Down, then Tab) is decided like any other:
    // nothing typed before it is still held back.
    const bool mayHold = KeyCode::maySwallow(virtualKey, completionKey, numberKeys);
    const bool forPopup = !release && popupVisible && mayHold;
    if (holding && release && std::none_of(held.begin(), held.end(), [&key](const INPUT& input) {
            return input.ki.wVk == key.vkCode;
        }))
        return pass(); // the release of a key pressed before the hold (the swallowed key itself)
    if (holding && !(forPopup && held.empty())) {
        hold(key);
        if (!release)
            report(virtualKey, 0, std::move(text));
        return 1;
    }
    if (release)
        return pass();

    if (!popupVisible || !mayHold) {
        report(virtualKey, 0, std::move(text));
        return pass();
    }

    const std::uint64_t waitId = ++lastWaitId;
    if (!report(virtualKey, waitId, std::move(text)))
        return pass();
    bool swallow = false;
    {
        std::unique_lock lock(mutex);
        answered.wait_for(lock, timeLimit, [this] { return answerReady; });
        swallow = answerReady && answerSwallows;
        // From here on a decision about this key comes too late.
        waitingFor = 0;
    }
    if (!swallow)
        return pass();
    // A paste may follow: the keys typed next wait for it (or for the handler to be done).
    if (holding)
        KillTimer(nullptr, holdTimer);
    holding = true;
    holdTimer = SetTimer(nullptr, 0, holdLimitMs, nullptr);
    return 1;
}

void Win32KeyboardHook::State::trackModifiers(DWORD virtualKey, bool release) {
    switch (virtualKey) {
    case VK_SHIFT: // as some programs send it
    case VK_LSHIFT:
        modifiers.leftShift = !release;
        break;
    case VK_RSHIFT:
        modifiers.rightShift = !release;
        break;
    case VK_CONTROL:
    case VK_LCONTROL:
        modifiers.leftControl = !release;
        break;
    case VK_RCONTROL:
        modifiers.rightControl = !release;
        break;
    case VK_MENU:
    case VK_LMENU:
        modifiers.leftAlt = !release;
        break;
    case VK_RMENU:
        modifiers.rightAlt = !release;
        break;
    case VK_CAPITAL:
        // Only the first press toggles: a held key repeats its press.
        if (!release && !capsLockDown)
            modifiers.capsLock = !modifiers.capsLock;
        capsLockDown = !release;
        break;
    default:
        break;
    }
}

bool Win32KeyboardHook::State::report(int virtualKey, std::uint64_t waitId, std::string text) {
    {
        std::lock_guard lock(mutex);
        presses.push_back({virtualKey, waitId, std::move(text)});
        if (waitId != 0) {
            waitingFor = waitId;
            answerReady = false;
        }
    }
    return PostMessageW(receiver, pressMessage, 0, 0) != 0;
}

void Win32KeyboardHook::State::hold(const KBDLLHOOKSTRUCT& key) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(key.vkCode);
    input.ki.wScan = static_cast<WORD>(key.scanCode);
    input.ki.dwFlags = ((key.flags & LLKHF_EXTENDED) ? KEYEVENTF_EXTENDEDKEY : 0) |
                       ((key.flags & LLKHF_UP) ? KEYEVENTF_KEYUP : 0);
    input.ki.dwExtraInfo = Win32KeyTag::replay;
    held.push_back(input);
}

void Win32KeyboardHook::State::replayHeld() {
    if (held.empty()) {
        holding = false;
        KillTimer(nullptr, holdTimer);
        return;
    }
    std::vector<INPUT> inputs;
    inputs.swap(held);
    inputs.back().ki.dwExtraInfo = Win32KeyTag::replayEnd;
    const UINT count = static_cast<UINT>(inputs.size());
    if (SendInput(count, inputs.data(), sizeof(INPUT)) != count) {
        // Nothing more can be done for these keys; the ones typed after them are not held back.
        holding = false;
        KillTimer(nullptr, holdTimer);
    }
}

LRESULT CALLBACK Win32KeyboardHook::State::receiverProc(HWND window, UINT message, WPARAM wParam,
                                                        LPARAM lParam) {
    if (message == pressMessage) {
        if (auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            state->deliverOne();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Win32KeyboardHook::State::deliverOne() {
    Press press{};
    {
        std::lock_guard lock(mutex);
        if (presses.empty())
            return;
        press = std::move(presses.front());
        presses.pop_front();
    }
    if (!handler) {
        answer(press.waitId, false);
        return;
    }
    if (gate)
        gate->takeSent();
    // The handler may run the event loop, where the next press is delivered: its own copy of the
    // state keeps the hook's answer safe even if the hook goes meanwhile.
    std::weak_ptr<State> weak = weak_from_this();
    // Shared: a handler that is busy with an earlier key answers after this returns.
    const auto swallowedInTime = std::make_shared<bool>(false);
    // A press delivered while the handler runs the event loop has its own; this one's comes back.
    std::string outerText = std::exchange(pressText, std::move(press.text));
    handler(press.virtualKey, [weak, waitId = press.waitId, swallowedInTime](std::int16_t discard) {
        const std::shared_ptr<State> state = weak.lock();
        const bool tookEffect = state ? state->answer(waitId, discard == 1) : discard == 0;
        *swallowedInTime = tookEffect && discard == 1 && waitId != 0;
        return tookEffect;
    });
    pressText = std::move(outerText);
    // Swallowed without a paste (Up, Down): the keys held behind it go on now.
    if (*swallowedInTime && !(gate && gate->takeSent()))
        PostThreadMessageW(threadId, replayMessage, 0, 0);
}

bool Win32KeyboardHook::State::answer(std::uint64_t waitId, bool swallow) {
    bool inTime = false;
    {
        std::lock_guard lock(mutex);
        inTime = waitId != 0 && waitingFor == waitId && !answerReady;
        if (inTime) {
            answerReady = true;
            answerSwallows = swallow;
        }
    }
    if (inTime)
        answered.notify_one();
    // Letting a key through always takes effect; swallowing one only while the hook still holds it.
    return inTime || !swallow;
}
