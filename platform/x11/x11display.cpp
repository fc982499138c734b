// Opening the keyboard backends' X connection, its extensions and its error handling.
#include "x11display.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Xlib has one error handler per process; it is shared with any other Xlib user (Qt's may be one),
// so errors of other connections go on to the handler that was there before.
// The hook's thread meets errors of its connection here while the UI thread may open or close one.
std::mutex displaysMutex;
std::vector<X11Display*>& openDisplays() {
    static std::vector<X11Display*> displays;
    return displays;
}
XErrorHandler previousErrorHandler = nullptr;
bool errorHandlerInstalled = false;

// How long an injected press may take to come back before it is no longer expected.
constexpr std::chrono::seconds injectedPressLifetime{2};

int handleXError(Display* display, XErrorEvent* event) {
    {
        const std::lock_guard lock(displaysMutex);
        for (X11Display* own : openDisplays()) {
            if (own->handle() == display) {
                own->noteError();
                return 0;
            }
        }
    }
    return previousErrorHandler ? previousErrorHandler(display, event) : 0;
}

} // namespace

std::shared_ptr<X11Display> X11Display::open(const std::string& name, std::string& error) {
    const char* wanted = name.empty() ? std::getenv("DISPLAY") : name.c_str();
    const std::string shownName = wanted && *wanted ? wanted : "";
    if (shownName.empty()) {
        error = "no X display is set (DISPLAY is empty)";
        return nullptr;
    }
    Display* display = XOpenDisplay(shownName.c_str());
    if (!display) {
        error = "the X display \"" + shownName + "\" cannot be opened";
        return nullptr;
    }
    if (!errorHandlerInstalled) {
        previousErrorHandler = XSetErrorHandler(&handleXError);
        errorHandlerInstalled = true;
    }
    std::shared_ptr<X11Display> result(new X11Display(display, shownName));
    {
        const std::lock_guard lock(displaysMutex);
        openDisplays().push_back(result.get());
    }

    int opcode = 0;
    int event = 0;
    int errorBase = 0;
    if (XQueryExtension(display, "XInputExtension", &opcode, &event, &errorBase)) {
        int major = 2;
        int minor = 2;
        if (XIQueryVersion(display, &major, &minor) == Success && (major > 2 || (major == 2 && minor >= 2)))
            result->m_xinputOpcode = opcode;
    }
    int xkbOpcode = 0;
    int xkbMajor = XkbMajorVersion;
    int xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(display, &xkbOpcode, &event, &errorBase, &xkbMajor, &xkbMinor))
        result->m_xkbEventBase = event;
    int xtestMajor = 0;
    int xtestMinor = 0;
    result->m_hasXTest = XTestQueryExtension(display, &event, &errorBase, &xtestMajor, &xtestMinor);
    result->refreshInjectionDevices();
    return result;
}

X11Display::X11Display(Display* display, std::string name)
    : m_display(display)
    , m_name(std::move(name)) {}

X11Display::~X11Display() {
    {
        const std::lock_guard lock(displaysMutex);
        auto& displays = openDisplays();
        displays.erase(std::remove(displays.begin(), displays.end(), this), displays.end());
    }
    XCloseDisplay(m_display);
}

void X11Display::refreshInjectionDevices() {
    m_injectionDevices.clear();
    if (!hasXInput22())
        return;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        // The server names the slave that carries XTest input after its master: "... XTEST keyboard".
        if (devices[i].use == XISlaveKeyboard && std::strstr(devices[i].name, "XTEST"))
            m_injectionDevices.push_back(devices[i].deviceid);
    }
    XIFreeDeviceInfo(devices);
}

void X11Display::expectInjectedPress(unsigned keycode) {
    m_expected.push_back({keycode, std::chrono::steady_clock::now() + injectedPressLifetime});
}

bool X11Display::takeInjectedPress(unsigned keycode, int sourceDevice) {
    const auto now = std::chrono::steady_clock::now();
    while (!m_expected.empty() && m_expected.front().deadline < now)
        m_expected.pop_front();
    if (m_expected.empty())
        return false;
    if (std::find(m_injectionDevices.begin(), m_injectionDevices.end(), sourceDevice) ==
        m_injectionDevices.end())
        return false;
    // XTest presses come back in the order they were sent, but a press of a key that is already down
    // may not come back at all: a match further on means the ones before it were swallowed.
    const auto match =
        std::find_if(m_expected.begin(), m_expected.end(),
                     [keycode](const Expected& expected) { return expected.keycode == keycode; });
    if (match == m_expected.end())
        return false;
    m_expected.erase(m_expected.begin(), match);
    m_expected.pop_front();
    return true;
}

void X11Display::setPasteFetchedListener(std::function<void(unsigned long)> listener) {
    const std::lock_guard lock(m_pasteListenersMutex);
    m_pasteFetched = std::move(listener);
}

void X11Display::notePasteFetched(unsigned long time) {
    const std::lock_guard lock(m_pasteListenersMutex);
    if (m_pasteFetched)
        m_pasteFetched(time);
}

void X11Display::setPasteOverListener(std::function<void()> listener) {
    const std::lock_guard lock(m_pasteListenersMutex);
    m_pasteOver = std::move(listener);
}

void X11Display::notePasteOver() {
    const std::lock_guard lock(m_pasteListenersMutex);
    if (m_pasteOver)
        m_pasteOver();
}
