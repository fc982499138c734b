// A message-only window whose procedure finds its owner in the window's user data.
#pragma once

#include <windows.h>

// Null when the window cannot be made (GetLastError says why). Registering the class again, as a
// later owner of the same kind does, fails harmlessly.
inline HWND createMessageWindow(const wchar_t* className, WNDPROC procedure, void* owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    const HWND window =
        CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}
