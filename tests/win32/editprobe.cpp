// A plain Win32 text field in a process of its own, for the Windows tests: a window titled by its
// first argument holding one multi-line EDIT, which keeps the focus; with a second argument
// "password", a one-line password EDIT instead.
#include <windows.h>

#include <string_view>

namespace {
HWND edit = nullptr;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFOCUS:
        if (edit)
            SetFocus(edit);
        return 0;
    case WM_ACTIVATE:
        // The default would give the focus to this window itself, not to its text field.
        if (LOWORD(wParam) != WA_INACTIVE && edit) {
            SetFocus(edit);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* title = argc > 1 ? argv[1] : L"Quenlo edit probe";
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QuenloEditProbe";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        100, 100, 400, 200, nullptr, nullptr, instance, nullptr);
    const bool password = argc > 2 && std::wstring_view(argv[2]) == L"password";
    const DWORD style = password ? ES_PASSWORD | ES_AUTOHSCROLL : ES_MULTILINE | ES_WANTRETURN;
    edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 380, password ? 24 : 160,
                           window, nullptr, instance, nullptr);
    SetForegroundWindow(window);
    SetFocus(edit);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
