// Latency through the real keyboard hook: from an XTest key press to the suggestion pop-up being
// mapped, to the lookup behind it having filled it, and from the completion key to the rest of the
// word fetched by the application (which has a text of the user's on the clipboard before), with the
// real quenlo on a private Xvfb. Then the processor time the whole quenlo process spends on a key
// that finds words, from the key until the process is idle again, and how its threads share it; beside
// it what the toolkit alone costs to show a window like the pop-up on the same server.
//   bench_popuplatency           200 keys, 100,000 words
//   bench_popuplatency --short   5 keys, 2,000 words (only proves the measurement still runs)
//   --words N                    N words in the database (the figures: 133000 and 1000000)
//   --no-copy                    nothing of the user's on the clipboard before the completion
//   --toolkit-floor N            (run by the bench itself) N shows of the toolkit alone
// Qt's widget headers come before any of Xlib's, whose macros (None, Bool) would break them.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QStringListModel>
#include <QTimer>

#include "bench/x11latencyrun.h"
#include "tests/x11/xvfbserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <sys/prctl.h>
#include <sys/select.h>

using namespace latency;

namespace {

constexpr double kTargetP99Ms = 20.0;
constexpr double kTargetCpuPerKeyMs = 1.0;
// The process counts as idle once its processor time has not moved for this long.
constexpr auto kIdleSpan = std::chrono::milliseconds(30);
constexpr auto kWaitLimit = std::chrono::seconds(10);
// Time between the keys of one word, as a fast typist leaves them.
constexpr auto kTypingCadence = std::chrono::milliseconds(20);

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

    // Puts a text of the user's on the clipboard and the primary selection, as a copy in another
    // application does: the completion must read it before its paste and answer for it afterwards.
    void copy(const std::string& text) {
        m_copied = text;
        for (const char* selection : {"CLIPBOARD", "PRIMARY"})
            XSetSelectionOwner(m_display, XInternAtom(m_display, selection, False), m_window, CurrentTime);
        XFlush(m_display);
    }

    // Asks for the clipboard's text as an application does on Shift+Insert; returns when it came.
    Clock::time_point fetchClipboard(Time time, const std::string& expected) {
        const Atom clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        const Atom property = XInternAtom(m_display, "LATENCY_PASTE", False);
        XConvertSelection(m_display, clipboard, utf8, property, m_window, time);
        XFlush(m_display);
        const Clock::time_point arrived = waitFor("the pasted text", [this](const XEvent& event) {
            return event.type == SelectionNotify && event.xselection.requestor == m_window;
        });
        Atom type = None;
        int format = 0;
        unsigned long length = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(m_display, m_window, property, 0, 1024, True, AnyPropertyType, &type, &format,
                           &length, &after, &data);
        const std::string text =
            data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
        if (data)
            XFree(data);
        if (text != expected)
            fail("pasted \"" + text + "\", not \"" + expected + "\"");
        return arrived;
    }

    void pause(Clock::duration length) {
        const Clock::time_point until = Clock::now() + length;
        while (Clock::now() < until) {
            timeval timeout{0, 1000};
            select(0, nullptr, nullptr, nullptr, &timeout);
        }
    }

    // Handles events until the process behind clock has used no processor time for kIdleSpan;
    // returns its processor time then, in nanoseconds.
    long long waitIdle(clockid_t clock) {
        const Clock::time_point deadline = Clock::now() + kWaitLimit;
        long long last = cpuNanoseconds(clock);
        Clock::time_point still = Clock::now();
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                notice(event);
            }
            pause(std::chrono::milliseconds(2));
            const long long now = cpuNanoseconds(clock);
            if (now != last) {
                last = now;
                still = Clock::now();
            } else if (Clock::now() - still >= kIdleSpan) {
                return now;
            }
            if (Clock::now() > deadline)
                fail("quenlo never fell idle");
        }
    }

    static long long cpuNanoseconds(clockid_t clock) {
        timespec time{};
        if (clock_gettime(clock, &time) != 0)
            fail("cannot read the processor time of quenlo");
        return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
    }

    bool popupMapped() const { return m_popupMapped; }
    Window target() const { return m_window; }

private:
    void notice(const XEvent& event) {
        if (event.type == SelectionRequest)
            answerCopy(event.xselectionrequest);
        if (event.type == MapNotify && m_popup.is(m_display, event.xmap.window))
            m_popupMapped = true;
        else if (event.type == UnmapNotify && m_popup.window() != None &&
                 event.xunmap.window == m_popup.window())
            m_popupMapped = false;
    }

    void answerCopy(const XSelectionRequestEvent& request) {
        const Atom targets = XInternAtom(m_display, "TARGETS", False);
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        XSelectionEvent reply{SelectionNotify,
                              0,
                              True,
                              m_display,
                              request.requestor,
                              request.selection,
                              request.target,
                              request.property,
                              request.time};
        if (request.target == targets) {
            const Atom offered[] = {targets, utf8};
            XChangeProperty(m_display, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 2);
        } else if (request.target == utf8) {
            XChangeProperty(m_display, request.requestor, request.property, utf8, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(m_copied.data()),
                            static_cast<int>(m_copied.size()));
        } else {
            reply.property = None;
        }
        XSendEvent(m_display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(m_display);
    }

    Display* m_display;
    Window m_root;
    std::string m_copied;
    Window m_window;
    PopupWindow m_popup;
    bool m_popupMapped = false;
};

struct ThreadTime {
    QString name;
    double milliseconds = 0;
};

// Processor time so far of each thread of a process, by thread id.
std::map<QString, ThreadTime> threadTimes(qint64 pid) {
    std::map<QString, ThreadTime> times;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks + QLatin1Char('/') + thread + QStringLiteral("/comm"));
        QFile scheduled(tasks + QLatin1Char('/') + thread + QStringLiteral("/schedstat"));
        if (!name.open(QIODevice::ReadOnly) || !scheduled.open(QIODevice::ReadOnly))
            continue;
        // The first field is the time run, in nanoseconds.
        const QByteArray runTime = scheduled.readAll().split(' ').value(0);
        times[thread] = {QString::fromUtf8(name.readAll().trimmed()), runTime.toDouble() / 1e6};
    }
    return times;
}

// The floor under the processor time per key: a program that does nothing but fill a frameless tool
// window's list with ten words and show it, as the pop-up is shown, painting included; hidden again
// between shows. Prints the median processor time of a show, the first few (the window made) left out.
int measureToolkitFloor(int argc, char* argv[], int shows) {
    constexpr int warmUp = 3;
    QApplication application(argc, argv);
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    window.setAttribute(Qt::WA_ShowWithoutActivating);
    auto* list = new QListView(&window);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QStringListModel words;
    list->setModel(&words);
    window.resize(127, 200);
    list->setGeometry(0, 0, 161, 220);
    std::vector<double> costs;
    const auto processMilliseconds = [] {
        return static_cast<double>(Desktop::cpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID)) / 1e6;
    };
    double before = 0;
    QTimer step;
    // Long enough for a show to be painted and the process to fall idle.
    step.setInterval(60);
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (window.isVisible()) {
            costs.push_back(processMilliseconds() - before);
            window.hide();
            if (costs.size() == static_cast<std::size_t>(warmUp + shows))
                application.quit();
            return;
        }
        QStringList next;
        for (int row = 0; row < 10; ++row)
            next.append(
                QString::fromStdString(numberedLetters(static_cast<int>(costs.size()) * 10 + row, 6)));
        before = processMilliseconds();
        words.setStringList(next);
        window.show();
    });
    step.start();
    application.exec();
    costs.erase(costs.begin(), costs.begin() + warmUp);
    std::printf("  %-33s p50 %5.2f ms   (a Qt window with a list of ten words, nothing else)\n",
                "toolkit alone, per show:", percentile(costs, 0.5));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && std::strcmp(argv[1], "--toolkit-floor") == 0)
        return measureToolkitFloor(argc, argv, std::atoi(argv[2]));
    QCoreApplication application(argc, argv);
    const bool isShort = application.arguments().contains(QStringLiteral("--short"));
    // Without a copy of the user's the clipboard has nothing to keep, as in the figures before it did.
    const bool withCopy = !application.arguments().contains(QStringLiteral("--no-copy"));
    const int keys = isShort ? 5 : 200;
    const qsizetype wordsOption = application.arguments().indexOf(QStringLiteral("--words"));
    const int wordCount = wordsOption > 0 && wordsOption + 1 < application.arguments().size()
                              ? application.arguments().at(wordsOption + 1).toInt()
                          : isShort ? 2000
                                    : 100000;
    if (fullPrefixes(wordCount) < 1)
        fail("--words needs enough words for one full list");
    const int warmUp = 3;

    QTemporaryDir folder;
    const QString program = placeQuenlo(folder, wordCount);
    const int prefixes = fullPrefixes(wordCount);
    // The rest of the second suggestion of a prefix, the one Down selects.
    const std::string secondRest = numberedLetters(1, wordLetters(wordCount) - 3) + "ing";

    XvfbServer server;
    if (!server.start())
        fail(server.error().toStdString());
    Display* display = XOpenDisplay(server.display().toLatin1().constData());
    if (!display)
        fail("cannot open the Xvfb display");
    Desktop desktop(display);

    QProcess quenlo;
    quenlo.setProgram(program);
    quenlo.setProcessEnvironment(privateDesktopEnvironment(folder, server.display()));
    quenlo.setProcessChannelMode(QProcess::ForwardedChannels);
    quenlo.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    quenlo.start();
    if (!quenlo.waitForStarted())
        fail("quenlo did not start");
    clockid_t quenloClock{};
    if (clock_getcpuclockid(static_cast<pid_t>(quenlo.processId()), &quenloClock) != 0)
        fail("cannot read the processor time of quenlo");

    // The hook is watching once the main window is up; then the keys go to a window of our own.
    desktop.waitFor("the quenlo main window", [&desktop](const XEvent& event) {
        return event.type == MapNotify && event.xmap.window != desktop.target() &&
               !event.xmap.override_redirect;
    });
    desktop.showTarget();

    std::vector<double> toMapped;
    std::vector<double> toFilled;
    std::vector<double> toPasted;
    for (int sample = 0; sample < warmUp + keys; ++sample) {
        // Backspace ends the previous word and hides its pop-up.
        desktop.tap(XK_BackSpace);
        if (desktop.popupMapped())
            desktop.waitFor("the pop-up to hide",
                            [&desktop](const XEvent&) { return !desktop.popupMapped(); });
        const int prefixNumber = static_cast<int>((static_cast<long long>(sample) * 7919) % prefixes);
        const std::string prefix = numberedLetters(prefixNumber, 3);
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

        // The rest of the word goes onto the clipboard, Shift+Insert reaches the window, and the
        // window fetches the text as an application does.
        if (withCopy)
            desktop.copy("https://example.org/" + prefix);
        const Clock::time_point completing = Clock::now();
        desktop.tap(XK_Tab);
        Time pasteTime = CurrentTime;
        desktop.waitFor("Shift+Insert", [&desktop, &pasteTime](const XEvent& event) {
            const bool paste = event.type == KeyPress && event.xkey.window == desktop.target() &&
                               (event.xkey.state & ShiftMask) != 0 &&
                               XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0) == XK_Insert;
            if (paste)
                pasteTime = event.xkey.time;
            return paste;
        });
        const Clock::time_point pasted = desktop.fetchClipboard(pasteTime, secondRest);
        if (sample >= warmUp) {
            toMapped.push_back(milliseconds(mapped - pressed));
            toFilled.push_back(milliseconds(filled - pressed));
            toPasted.push_back(milliseconds(pasted - completing));
        }
    }

    // Processor time of a key that finds words: from an idle process before the third letter to
    // an idle process after it, every thread of quenlo counted.
    std::vector<double> cpuPerKey;
    std::map<QString, ThreadTime> threadShares;
    for (int sample = 0; sample < warmUp + keys; ++sample) {
        desktop.tap(XK_BackSpace);
        if (desktop.popupMapped())
            desktop.waitFor("the pop-up to hide",
                            [&desktop](const XEvent&) { return !desktop.popupMapped(); });
        const int prefixNumber = static_cast<int>((static_cast<long long>(sample) * 104729) % prefixes);
        const std::string prefix = numberedLetters(prefixNumber, 3);
        for (std::size_t i = 0; i < 2; ++i) {
            desktop.pause(kTypingCadence);
            desktop.tap(XStringToKeysym(std::string(1, prefix[i]).c_str()));
        }
        const long long before = desktop.waitIdle(quenloClock);
        const auto threadsBefore = threadTimes(quenlo.processId());
        desktop.tap(XStringToKeysym(std::string(1, prefix[2]).c_str()));
        desktop.waitFor("the pop-up", [&desktop](const XEvent&) { return desktop.popupMapped(); });
        const long long after = desktop.waitIdle(quenloClock);
        if (sample < warmUp)
            continue;
        cpuPerKey.push_back(static_cast<double>(after - before) / 1e6);
        for (const auto& [thread, time] : threadTimes(quenlo.processId())) {
            const auto earlier = threadsBefore.find(thread);
            ThreadTime& share = threadShares[thread];
            share.name = time.name;
            share.milliseconds +=
                time.milliseconds - (earlier != threadsBefore.end() ? earlier->second.milliseconds : 0);
        }
    }
    double cpuTotal = 0;
    for (const double milliseconds : cpuPerKey)
        cpuTotal += milliseconds;

    std::printf("pop-up latency through the X11 hook, %d keys, %d words, %s\n", keys, wordCount,
                withCopy ? "a copied text on the clipboard" : "nothing on the clipboard");
    printLatency("key press -> pop-up mapped:", toMapped, kTargetP99Ms);
    printLatency("key press -> pop-up filled:", toFilled);
    printLatency("completion key -> text pasted:", toPasted);
    std::printf("  %-33s mean %5.2f ms   p50 %5.2f ms   p99 %5.2f ms   (target mean <= %.0f ms)\n",
                "processor time per key (process):", cpuTotal / static_cast<double>(cpuPerKey.size()),
                percentile(cpuPerKey, 0.5), percentile(cpuPerKey, 0.99), kTargetCpuPerKeyMs);
    // The thread that bears the process's id is the user interface's.
    const QString userInterface = QString::number(quenlo.processId());
    for (const auto& [thread, share] : threadShares) {
        const double perKey = share.milliseconds / static_cast<double>(keys);
        if (perKey < 0.005)
            continue;
        const QString label =
            QStringLiteral("thread \"%1\"%2:")
                .arg(share.name, thread == userInterface ? QStringLiteral(" (user interface)") : QString());
        std::printf("    %-36s mean %5.2f ms\n", qPrintable(label), perKey);
    }

    quenlo.terminate();
    quenlo.waitForFinished();
    QProcess toolkitAlone;
    QProcessEnvironment toolkitEnvironment = QProcessEnvironment::systemEnvironment();
    toolkitEnvironment.insert(QStringLiteral("DISPLAY"), server.display());
    toolkitEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    toolkitAlone.setProcessEnvironment(toolkitEnvironment);
    toolkitAlone.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    std::fflush(stdout);
    toolkitAlone.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--toolkit-floor"), QString::number(keys)});
    if (!toolkitAlone.waitForFinished(60000) || toolkitAlone.exitCode() != 0)
        fail("the toolkit's own show could not be measured");
    XCloseDisplay(display);
    return 0;
}
