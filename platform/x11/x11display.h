// The X connection of the keyboard backends: their own, apart from Qt's, shared by the hook and the
// injector so that the hook can tell the keys this program typed from the user's.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

class X11Display {
public:
    // Opens the named display (empty: $DISPLAY). Null, with the reason in error, when it cannot.
    static std::shared_ptr<X11Display> open(const std::string& name, std::string& error);
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;
    ~X11Display();

    Display* handle() const { return m_display; }
    const std::string& name() const { return m_name; }

    // Extensions the backends need, found when the display was opened.
    bool hasXInput22() const { return m_xinputOpcode >= 0; }
    int xinputOpcode() const { return m_xinputOpcode; }
    bool hasXkb() const { return m_xkbEventBase >= 0; }
    int xkbEventBase() const { return m_xkbEventBase; }
    bool hasXTest() const { return m_hasXTest; }

    // A press this program is about to type: the hook skips it when it comes back. Used on the
    // thread that owns the connection.
    void expectInjectedPress(unsigned keycode);
    // True, and forgotten, when a press from this device is the next one this program typed.
    bool takeInjectedPress(unsigned keycode, int sourceDevice);
    // Looks the XTest keyboards up again (their ids change only when devices are added or removed).
    void refreshInjectionDevices();

    // While the hook's thread owns this connection, the injector hands its keystroke to it: set and
    // cleared by the hook on the thread that calls the injector.
    void setPasteRoute(std::function<void()> route) { m_pasteRoute = std::move(route); }
    const std::function<void()>& pasteRoute() const { return m_pasteRoute; }

    // Between the clipboard's thread and the hook's: the clipboard tells when it has answered an
    // application's request for the pasted text (with the request's time stamp), and the hook when the
    // paste is over (fetched, or given up), so that what the user had may come back. Each listener is
    // set by the side that listens; safe from any thread.
    void setPasteFetchedListener(std::function<void(unsigned long time)> listener);
    void notePasteFetched(unsigned long time);
    void setPasteOverListener(std::function<void()> listener);
    void notePasteOver();

    // X errors on this connection (a failed grab must not end the program, as Xlib's default would).
    int errorCount() const { return m_errorCount; }
    // Called by the process's X error handler for an error on this connection.
    void noteError() { ++m_errorCount; }

private:
    explicit X11Display(Display* display, std::string name);

    struct Expected {
        unsigned keycode;
        std::chrono::steady_clock::time_point deadline;
    };

    Display* m_display;
    std::string m_name;
    int m_xinputOpcode = -1;
    int m_xkbEventBase = -1;
    bool m_hasXTest = false;
    std::vector<int> m_injectionDevices;
    std::deque<Expected> m_expected;
    std::function<void()> m_pasteRoute;
    std::mutex m_pasteListenersMutex;
    std::function<void(unsigned long)> m_pasteFetched;
    std::function<void()> m_pasteOver;
    std::atomic<int> m_errorCount = 0;
};
