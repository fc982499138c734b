// The Windows clipboard around the paste of a completion, on a thread of its own: a clipboard owner
// that is slow to render blocks that thread, never the UI thread beyond its limit, and the placed
// text is rendered at once however busy the UI thread is.
//
// Before the rest of a word is placed, every format on the clipboard is copied, within a time and a
// size limit. The text is offered by delayed rendering: Windows asks this thread for it when someone
// reads it. The read that counts is the one after the paste's Insert has passed the keyboard hook,
// by the process in front (or one that opened the clipboard without a window); earlier reads, and
// other processes, are clipboard watchers. Once that reader has closed the clipboard, or 1 s after
// placing when no such read comes, what the user had goes back, unless the clipboard has changed
// hands meanwhile.
#include "win32clipboard.h"

#include "win32messagewindow.h"
#include "win32pastegate.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr UINT placeMessage = WM_APP + 1;
constexpr UINT_PTR boundTimer = 1;
constexpr UINT_PTR retryTimer = 2;
// The UI thread waits this long for the placement; the copy of what was there must be done sooner.
constexpr auto answerLimit = 100ms;
constexpr auto copyLimit = 80ms;
constexpr std::size_t sizeLimit = 64u << 20;
// Put back this long after placing when the application's read was not seen.
constexpr UINT restoreBoundMs = 1000;
// While the reader still has the clipboard open.
constexpr UINT retryMs = 5;
// Someone who keeps the clipboard open this long after placing keeps what is on it.
constexpr auto giveUpAfter = 3s;
constexpr wchar_t windowClassName[] = L"QuenloClipboardOwner";

struct SavedFormat {
    UINT format;
    std::vector<unsigned char> bytes;
};

// Windows offers the formats it converts from the one it was given (the text encodings, the bitmap
// forms, the two metafile forms, a bitmap's palette) after that one; only the first of each family is
// kept, and Windows converts again after the restore. GDI handles are kept as their bits: a bitmap as
// a DIB, a metafile picture as an enhanced metafile. Handles only their owner understands (owner
// display, private and GDI-object ranges) cannot be copied.
std::vector<UINT> formatsToKeep(const std::vector<UINT>& offered) {
    std::vector<UINT> kept;
    bool text = false;
    bool bitmap = false;
    bool picture = false;
    for (const UINT format : offered) {
        switch (format) {
        case CF_UNICODETEXT:
        case CF_TEXT:
        case CF_OEMTEXT:
            if (!std::exchange(text, true))
                kept.push_back(format);
            break;
        case CF_DIB:
        case CF_DIBV5:
        case CF_BITMAP:
            if (!std::exchange(bitmap, true))
                kept.push_back(format == CF_BITMAP ? CF_DIB : format);
            break;
        case CF_ENHMETAFILE:
        case CF_METAFILEPICT:
            if (!std::exchange(picture, true))
                kept.push_back(CF_ENHMETAFILE);
            break;
        case CF_PALETTE:
            if (!bitmap)
                kept.push_back(format);
            break;
        case CF_OWNERDISPLAY:
        case CF_DSPBITMAP:
        case CF_DSPMETAFILEPICT:
        case CF_DSPENHMETAFILE:
            break;
        default:
            if (format < CF_PRIVATEFIRST || format > CF_GDIOBJLAST)
                kept.push_back(format);
            break;
        }
    }
    return kept;
}

enum class Copy { Done, Nothing, TooLarge };

// The bytes behind a clipboard handle, if they fit in budget.
Copy copyOut(UINT format, HANDLE handle, std::size_t budget, std::vector<unsigned char>& bytes) {
    if (format == CF_ENHMETAFILE) {
        const auto metafile = static_cast<HENHMETAFILE>(handle);
        const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
        if (size > budget)
            return Copy::TooLarge;
        bytes.resize(size);
        return size > 0 && GetEnhMetaFileBits(metafile, size, bytes.data()) == size ? Copy::Done
                                                                                    : Copy::Nothing;
    }
    if (format == CF_PALETTE) {
        const auto palette = static_cast<HPALETTE>(handle);
        const UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
        bytes.resize(count * sizeof(PALETTEENTRY));
        return count > 0 && GetPaletteEntries(palette, 0, count,
                                              reinterpret_cast<PALETTEENTRY*>(bytes.data())) == count
                   ? Copy::Done
                   : Copy::Nothing;
    }
    const SIZE_T size = GlobalSize(handle);
    if (size > budget)
        return Copy::TooLarge;
    const void* data = size > 0 ? GlobalLock(handle) : nullptr;
    if (!data)
        return Copy::Nothing;
    bytes.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    GlobalUnlock(handle);
    return Copy::Done;
}

// Sleeps up to ms, answering what other threads send to this one meanwhile (a render request).
void waitAnsweringSent(DWORD ms) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

HGLOBAL globalCopy(const void* data, std::size_t size) {
    const HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, size);
    if (void* target = global ? GlobalLock(global) : nullptr) {
        std::memcpy(target, data, size);
        GlobalUnlock(global);
        return global;
    }
    if (global)
        GlobalFree(global);
    return nullptr;
}

// On an open clipboard; the clipboard owns the handle once it took it.
void putBack(const SavedFormat& saved) {
    if (saved.format == CF_ENHMETAFILE) {
        const HENHMETAFILE metafile =
            SetEnhMetaFileBits(static_cast<UINT>(saved.bytes.size()), saved.bytes.data());
        if (metafile && !SetClipboardData(saved.format, metafile))
            DeleteEnhMetaFile(metafile);
    } else if (saved.format == CF_PALETTE) {
        const std::size_t count = saved.bytes.size() / sizeof(PALETTEENTRY);
        std::vector<unsigned char> buffer(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = static_cast<WORD>(count);
        std::memcpy(logical->palPalEntry, saved.bytes.data(), saved.bytes.size());
        const HPALETTE palette = CreatePalette(logical);
        if (palette && !SetClipboardData(saved.format, palette))
            DeleteObject(palette);
    } else if (const HGLOBAL global = globalCopy(saved.bytes.data(), saved.bytes.size())) {
        if (!SetClipboardData(saved.format, global))
            GlobalFree(global);
    }
}

void putDword(UINT format, DWORD value) {
    if (const HGLOBAL global = globalCopy(&value, sizeof(value)); global && !SetClipboardData(format, global))
        GlobalFree(global);
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    if (window)
        GetWindowThreadProcessId(window, &process);
    return process;
}

} // namespace

struct Win32Clipboard::State {
    struct Request {
        std::wstring text;
        Clock::time_point copyDeadline;
        std::uint64_t id;
    };

    std::shared_ptr<Win32PasteGate> gate;
    std::thread thread;
    HWND window = nullptr;
    // Set when an answer is ready for the UI thread.
    HANDLE answered = nullptr;

    // Shared by both threads, held only to move a few values.
    std::mutex mutex;
    std::optional<Request> request;
    std::uint64_t lastRequest = 0;
    std::uint64_t answeredId = 0;
    std::uint64_t abandonedId = 0;
    Placement answer = Placement::Failed;

    // Clipboard thread only.
    UINT excludeFromMonitors = 0;
    UINT includeInHistory = 0;
    UINT uploadToCloud = 0;
    // OLE's bookkeeping of the data object that owned the clipboard, meaningless once that is gone.
    UINT oleDataObject = 0;
    UINT olePrivateData = 0;
    std::wstring fragment;
    // The clipboard holds what this thread placed for a paste, as far as it was told.
    bool fragmentPlaced = false;
    bool restorePending = false;
    std::vector<SavedFormat> saved;
    unsigned passedAtPlacement = 0;
    DWORD pasteProcess = 0;
    Clock::time_point placedAt;
    // This thread empties the clipboard itself: the WM_DESTROYCLIPBOARD that follows is no news.
    bool emptyingItself = false;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run(std::promise<bool>& started);
    void place();
    bool openWithin(Clock::time_point deadline);
    bool copyClipboard(Clock::time_point deadline);
    void emptyClipboard();
    void render();
    void onRead();
    bool tryRestore();
    void stopRestoring();
    void reply(std::uint64_t id, Placement placement);
};

Win32Clipboard::Win32Clipboard(std::shared_ptr<Win32PasteGate> gate)
    : m_state(std::make_shared<State>()) {
    State& state = *m_state;
    state.gate = std::move(gate);
    state.answered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    state.thread = std::thread([&state, &started] { state.run(started); });
    if (!result.get())
        state.thread.join();
}

Win32Clipboard::~Win32Clipboard() {
    State& state = *m_state;
    if (state.thread.joinable()) {
        // What the user had goes back first, if it can.
        PostMessageW(state.window, WM_CLOSE, 0, 0);
        state.thread.join();
    }
    if (state.answered)
        CloseHandle(state.answered);
}

Clipboard::Placement Win32Clipboard::placeForPaste(const QString& text) {
    State& state = *m_state;
    if (!state.window || !state.answered)
        return Placement::Failed;
    const Clock::time_point start = Clock::now();
    std::uint64_t id = 0;
    {
        std::lock_guard lock(state.mutex);
        id = ++state.lastRequest;
        state.request = State::Request{text.toStdWString(), start + copyLimit, id};
    }
    if (PostMessageW(state.window, placeMessage, 0, 0)) {
        const Clock::time_point deadline = start + answerLimit;
        for (;;) {
            {
                std::lock_guard lock(state.mutex);
                if (state.answeredId == id)
                    return state.answer;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            // What the user copied from this program's own windows is rendered on this thread.
            if (MsgWaitForMultipleObjects(1, &state.answered, FALSE, static_cast<DWORD>(left.count()),
                                          QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
                MSG message;
                PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
    }
    std::lock_guard lock(state.mutex);
    if (state.answeredId == id)
        return state.answer;
    // Too late: the clipboard thread leaves the clipboard alone, or puts it back at once.
    state.abandonedId = id;
    return Placement::Failed;
}

void Win32Clipboard::State::run(std::promise<bool>& started) {
    window = createMessageWindow(windowClassName, &State::windowProc, this);
    excludeFromMonitors = RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    includeInHistory = RegisterClipboardFormatW(L"CanIncludeInClipboardHistory");
    uploadToCloud = RegisterClipboardFormatW(L"CanUploadToCloudClipboard");
    oleDataObject = RegisterClipboardFormatW(L"DataObject");
    olePrivateData = RegisterClipboardFormatW(L"Ole Private Data");
    started.set_value(window != nullptr);
    if (!window)
        return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

LRESULT CALLBACK Win32Clipboard::State::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!state)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case placeMessage:
        state->place();
        return 0;
    case WM_RENDERFORMAT:
        if (wParam == CF_UNICODETEXT) {
            state->render();
            state->onRead();
        }
        return 0;
    case WM_RENDERALLFORMATS:
        // Going away while the fragment is on the clipboard: it stays readable.
        if (OpenClipboard(window)) {
            if (GetClipboardOwner() == window && state->fragmentPlaced)
                state->render();
            CloseClipboard();
        }
        return 0;
    case WM_DESTROYCLIPBOARD:
        // Someone else took the clipboard: what is there now is newer than what the user had.
        if (!state->emptyingItself) {
            state->fragmentPlaced = false;
            state->stopRestoring();
        }
        return 0;
    case WM_TIMER:
        if (wParam == boundTimer) {
            KillTimer(window, boundTimer);
            SetTimer(window, retryTimer, 0, nullptr);
        } else if (wParam == retryTimer &&
                   (state->tryRestore() || Clock::now() - state->placedAt > giveUpAfter)) {
            state->stopRestoring();
        }
        return 0;
    case WM_CLOSE: {
        const Clock::time_point deadline = Clock::now() + answerLimit;
        while (!state->tryRestore() && Clock::now() < deadline)
            waitAnsweringSent(retryMs);
        DestroyWindow(window);
    }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Win32Clipboard::State::place() {
    Request next;
    {
        std::lock_guard lock(mutex);
        if (!request)
            return;
        next = std::move(*request);
        request.reset();
        if (next.id <= abandonedId)
            return;
    }
    if (!openWithin(next.copyDeadline)) {
        reply(next.id, Placement::Failed);
        return;
    }
    // Reading a format rendered on request, and emptying the clipboard, wait on its owner without a
    // limit: an owner that does not answer at all is found out first, within the limit.
    const HWND owner = GetClipboardOwner();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next.copyDeadline - Clock::now()).count();
    DWORD_PTR ignored = 0;
    SetLastError(ERROR_SUCCESS);
    if (owner && owner != window &&
        !SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                             static_cast<UINT>(std::max<long long>(left, 1)), &ignored) &&
        GetLastError() == ERROR_TIMEOUT) {
        CloseClipboard();
        reply(next.id, Placement::Failed);
        return;
    }
    Placement placement = Placement::Kept;
    if (owner == window && fragmentPlaced) {
        // The fragment of an earlier completion: what the user had is kept already, or was lost then.
        if (!restorePending)
            saved.clear();
    } else {
        stopRestoring();
        if (!copyClipboard(next.copyDeadline)) {
            saved.clear();
            placement = Placement::NotKept;
        }
    }
    {
        std::lock_guard lock(mutex);
        if (next.id <= abandonedId) {
            CloseClipboard();
            return;
        }
    }
    fragment = std::move(next.text);
    emptyClipboard();
    putDword(excludeFromMonitors, 0);
    putDword(includeInHistory, 0);
    putDword(uploadToCloud, 0);
    // Offered for delayed rendering, which SetClipboardData answers with no handle either way.
    SetLastError(ERROR_SUCCESS);
    SetClipboardData(CF_UNICODETEXT, nullptr);
    const bool placed = GetLastError() == ERROR_SUCCESS;
    CloseClipboard();
    fragmentPlaced = true;
    restorePending = placement == Placement::Kept;
    passedAtPlacement = gate ? gate->passed() : 0;
    bool abandoned = false;
    {
        std::lock_guard lock(mutex);
        abandoned = next.id <= abandonedId;
    }
    if (!abandoned)
        reply(next.id, placed ? placement : Placement::Failed);
    // Off the key's way from here: the UI thread has its answer.
    pasteProcess = processOf(GetForegroundWindow());
    placedAt = Clock::now();
    KillTimer(window, retryTimer);
    if (restorePending)
        SetTimer(window, boundTimer, restoreBoundMs, nullptr);
    // No paste follows: what the user had goes back now.
    if (restorePending && (abandoned || !placed))
        SetTimer(window, retryTimer, 0, nullptr);
}

bool Win32Clipboard::State::openWithin(Clock::time_point deadline) {
    while (!OpenClipboard(window)) {
        if (Clock::now() >= deadline)
            return false;
        // The one holding it may be reading the previous fragment, which this thread renders.
        waitAnsweringSent(2);
    }
    return true;
}

bool Win32Clipboard::State::copyClipboard(Clock::time_point deadline) {
    // In one call as a rule, since every call to the clipboard is a trip to the system.
    std::vector<UINT> offered(64);
    UINT count = 0;
    while (!GetUpdatedClipboardFormats(offered.data(), static_cast<UINT>(offered.size()), &count)) {
        if (count <= offered.size())
            return false;
        offered.resize(count);
    }
    offered.resize(std::min<std::size_t>(count, offered.size()));
    std::size_t total = 0;
    for (const UINT format : formatsToKeep(offered)) {
        if (format == oleDataObject || format == olePrivateData)
            continue;
        if (Clock::now() >= deadline)
            return false;
        const HANDLE handle = GetClipboardData(format);
        if (!handle)
            continue; // its owner could not render it: there is nothing to keep
        SavedFormat copy{format, {}};
        const Copy result = copyOut(format, handle, sizeLimit - total, copy.bytes);
        if (result == Copy::TooLarge)
            return false;
        if (result == Copy::Nothing)
            continue;
        total += copy.bytes.size();
        saved.push_back(std::move(copy));
    }
    return true;
}

void Win32Clipboard::State::emptyClipboard() {
    emptyingItself = true;
    EmptyClipboard();
    emptyingItself = false;
}

void Win32Clipboard::State::render() {
    if (const HGLOBAL global = globalCopy(fragment.c_str(), (fragment.size() + 1) * sizeof(wchar_t));
        global && !SetClipboardData(CF_UNICODETEXT, global))
        GlobalFree(global);
}

void Win32Clipboard::State::onRead() {
    if (!restorePending || (gate && gate->passed() == passedAtPlacement))
        return;
    const HWND reader = GetOpenClipboardWindow();
    if (reader && processOf(reader) != pasteProcess)
        return;
    // Put back once the reader has closed the clipboard.
    KillTimer(window, boundTimer);
    SetTimer(window, retryTimer, retryMs, nullptr);
}

bool Win32Clipboard::State::tryRestore() {
    if (!restorePending)
        return true;
    if (!OpenClipboard(window))
        return false;
    if (GetClipboardOwner() == window && fragmentPlaced) {
        emptyClipboard();
        for (const SavedFormat& format : saved)
            putBack(format);
    }
    fragmentPlaced = false;
    CloseClipboard();
    return true;
}

void Win32Clipboard::State::stopRestoring() {
    KillTimer(window, boundTimer);
    KillTimer(window, retryTimer);
    restorePending = false;
    saved.clear();
    saved.shrink_to_fit();
}

void Win32Clipboard::State::reply(std::uint64_t id, Placement placement) {
    {
        std::lock_guard lock(mutex);
        answeredId = id;
        answer = placement;
    }
    SetEvent(answered);
}
