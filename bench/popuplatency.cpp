// Latency through the real keyboard hook: from an XTest key press to the suggestion pop-up being
// mapped, and to the lookup behind it having filled it, with the real quenlo on a private Xvfb.
//   bench_popuplatency           200 keys, 100,000 words
//   bench_popuplatency --short   5 keys, 2,000 words (only proves the measurement still runs)
#include "platform/wordsfile.h"
#include "tests/x11/xvfbserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <sys/select.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kTargetP99Ms = 20.0;
constexpr auto kWaitLimit = std::chrono::seconds(10);
// Time between the keys of one word, as a fast typist leaves them.
constexpr auto kTypingCadence = std::chrono::milliseconds(20);

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "bench_popuplatency: %s\n", message.c_str());
    std::exit(1);
}

// Four letters numbered like a base-26 number: word n of the database begins with letters(n / 26).
std::string letters(int number, int count) {
    std::string text(static_cast<std::size_t>(count), 'a');
    for (int i = count - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = static_cast<char>('a' + number % 26);
        number /= 26;
    }
    return text;
}

class Desktop {
public:
    explicit Desktop(Display* display)
        : m_display(display)
        , m_root(DefaultRootWindow(display)) {
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
        m_window = XCreateSimpleWindow(m_display, m_root, 400, 300, 300, 100, 0, 0, 0);
        XSelectInput(m_display, m_window, KeyPressMask | StructureNotifyMask);
        XStoreName(m_display, m_window, "latency-target");
    }

    void showTarget() {
        XMapWindow(m_display, m_window);
        waitFor("the target window", [this](const XEvent& event) {
            return event.type == MapNotify && event.xmap.window == m_window;
        });
        XSetInputFocus(m_display, m_window, RevertToPointerRoot, CurrentTime);
        XSync(m_display, False);
    }

    void tap(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(m_display, keysym);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XFlush(m_display);
    }

    // Waits for the first event that matches; the others on the way are looked at for the pop-up.
    template <typename Match> Clock::time_point waitFor(const char* what, Match match) {
        const Clock::time_point deadline = Clock::now() + kWaitLimit;
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                const Clock::time_point now = Clock::now();
                notice(event);
                if (match(event))
                    return now;
            }
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                fail(std::string("timed out waiting for ") + what);
            timeval timeout{0, static_cast<suseconds_t>(
                                   std::chrono::duration_cast<std::chrono::microseconds>(left).count())};
            timeout.tv_sec = timeout.tv_usec / 1000000;
            timeout.tv_usec %= 1000000;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(ConnectionNumber(m_display), &readable);
            select(ConnectionNumber(m_display) + 1, &readable, nullptr, nullptr, &timeout);
        }
    }

    void pause(Clock::duration length) {
        const Clock::time_point until = Clock::now() + length;
        while (Clock::now() < until) {
            timeval timeout{0, 1000};
            select(0, nullptr, nullptr, nullptr, &timeout);
        }
    }

    bool isPopup(Window window) {
        if (m_popup != None)
            return window == m_popup;
        char* name = nullptr;
        const bool named = XFetchName(m_display, window, &name) && name && std::string(name) == "Form2";
        if (name)
            XFree(name);
        if (named)
            m_popup = window;
        return named;
    }

    bool popupMapped() const { return m_popupMapped; }
    Window target() const { return m_window; }

private:
    void notice(const XEvent& event) {
        if (event.type == MapNotify && isPopup(event.xmap.window))
            m_popupMapped = true;
        else if (event.type == UnmapNotify && m_popup != None && event.xunmap.window == m_popup)
            m_popupMapped = false;
    }

    Display* m_display;
    Window m_root;
    Window m_window;
    Window m_popup = None; // found by its title once it first maps
    bool m_popupMapped = false;
};

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool isShort = application.arguments().contains(QStringLiteral("--short"));
    const int keys = isShort ? 5 : 200;
    const int wordCount = isShort ? 2000 : 100000;
    const int warmUp = 3;

    QTemporaryDir folder;
    if (!folder.isValid())
        fail("cannot make a temporary folder");
    const QString program = folder.filePath(QStringLiteral("quenlo"));
    if (!QFile::copy(QStringLiteral(QUENLO_PROGRAM_PATH), program))
        fail("cannot copy " QUENLO_PROGRAM_PATH);
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);

    // Words n*26 .. n*26+25 share the prefix letters(n, 3): every prefix offers a full list.
    std::vector<WordRow> rows;
    rows.reserve(static_cast<std::size_t>(wordCount));
    for (int i = 0; i < wordCount; ++i)
        rows.push_back({QString::fromStdString(letters(i, 4) + "ing"), std::nullopt});
    QString error;
    if (!createWordsDatabase(folder.filePath(QStringLiteral("words.mdb")), rows, &error))
        fail("cannot make words.mdb: " + error.toStdString());
    const int prefixes = wordCount / 26;

    XvfbServer server;
    if (!server.start())
        fail(server.error().toStdString());
    Display* display = XOpenDisplay(server.display().toLatin1().constData());
    if (!display)
        fail("cannot open the Xvfb display");
    Desktop desktop(display);

    QDir(folder.path()).mkpath(QStringLiteral("config"));
    QDir(folder.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(folder.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("DISPLAY"), server.display());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("HOME"), folder.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
    QProcess quenlo;
    quenlo.setProgram(program);
    quenlo.setProcessEnvironment(environment);
    quenlo.setProcessChannelMode(QProcess::ForwardedChannels);
    quenlo.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    quenlo.start();
    if (!quenlo.waitForStarted())
        fail("quenlo did not start");

    // The hook is watching once the main window is up; then the keys go to a window of our own.
    desktop.waitFor("the quenlo main window", [&desktop](const XEvent& event) {
        return event.type == MapNotify && event.xmap.window != desktop.target() &&
               !event.xmap.override_redirect;
    });
    desktop.showTarget();

    std::vector<double> toMapped;
    std::vector<double> toFilled;
    for (int sample = 0; sample < warmUp + keys; ++sample) {
        // Backspace ends the previous word and hides its pop-up.
        desktop.tap(XK_BackSpace);
        if (desktop.popupMapped())
            desktop.waitFor("the pop-up to hide",
                            [&desktop](const XEvent&) { return !desktop.popupMapped(); });
        const int prefixNumber = static_cast<int>((static_cast<long long>(sample) * 7919) % prefixes);
        const std::string prefix = letters(prefixNumber, 3);
        for (std::size_t i = 0; i < 2; ++i) {
            desktop.pause(kTypingCadence);
            desktop.tap(XStringToKeysym(std::string(1, prefix[i]).c_str()));
        }
        desktop.pause(kTypingCadence);

        // The third letter makes the word long enough: the lookup runs and the pop-up appears.
        const Clock::time_point pressed = Clock::now();
        desktop.tap(XStringToKeysym(std::string(1, prefix[2]).c_str()));
        const Clock::time_point mapped =
            desktop.waitFor("the pop-up", [&desktop](const XEvent&) { return desktop.popupMapped(); });
        // Down waits, grabbed, until the engine has finished the lookup; the key after it reaches
        // the target window only then.
        desktop.tap(XK_Down);
        desktop.tap(XK_F12);
        const Clock::time_point filled =
            desktop.waitFor("the lookup to finish", [&desktop](const XEvent& event) {
                return event.type == KeyPress && event.xkey.window == desktop.target() &&
                       XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0) == XK_F12;
            });
        if (sample >= warmUp) {
            toMapped.push_back(milliseconds(mapped - pressed));
            toFilled.push_back(milliseconds(filled - pressed));
        }
    }

    std::printf("pop-up latency through the X11 hook, %d keys, %d words\n", keys, wordCount);
    std::printf("  key press -> pop-up mapped:       p50 %6.2f ms   p99 %6.2f ms   (target p99 < %.0f ms)\n",
                percentile(toMapped, 0.5), percentile(toMapped, 0.99), kTargetP99Ms);
    std::printf("  key press -> pop-up filled:       p50 %6.2f ms   p99 %6.2f ms\n",
                percentile(toFilled, 0.5), percentile(toFilled, 0.99));

    quenlo.terminate();
    quenlo.waitForFinished();
    XCloseDisplay(display);
    return 0;
}
