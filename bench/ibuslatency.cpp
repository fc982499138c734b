// Latency through the IBus engine: from a key press sent through an IBus input context to the suggestion
// pop-up being mapped, and from the completion key to the committed text reaching the input context, with
// the real quenlo as the engine of a private ibus-daemon on a private Xvfb.
//   bench_ibuslatency           200 rounds, 100,000 words
//   bench_ibuslatency --short   5 rounds, 2,000 words (only proves the measurement still runs)
// Before Qt, whose "signals" keyword would rename a member of GLib's D-Bus structures.
#include <ibus.h>

#include "bench/x11latencyrun.h"
#include "tests/x11/xvfbserver.h"

#include <X11/Xlib.h>

#include <csignal>
#include <optional>
#include <sys/prctl.h>
#include <thread>

using namespace latency;

namespace {

constexpr double kTargetP99Ms = 20.0;
constexpr auto kWaitLimit = std::chrono::seconds(10);
constexpr auto kTypingCadence = std::chrono::milliseconds(20);
// A user reads the pop-up before pressing the completion key.
constexpr auto kReadingPause = std::chrono::milliseconds(60);

// The X side: only whether the pop-up is mapped.
class PopupWatch {
public:
    explicit PopupWatch(Display* display)
        : m_display(display) {
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    }
    // Reads what the server sent.
    void poll() {
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify) {
                if (m_popup.is(m_display, event.xmap.window))
                    m_mapped = true;
                else if (!event.xmap.override_redirect)
                    m_otherMapped = true;
            } else if (event.type == UnmapNotify && event.xunmap.window == m_popup.window()) {
                m_mapped = false;
            }
        }
    }
    bool mapped() const { return m_mapped; }
    // Whether a window other than the pop-up (the main window) was ever mapped.
    bool otherMapped() const { return m_otherMapped; }

private:
    Display* m_display;
    PopupWindow m_popup;
    bool m_mapped = false;
    bool m_otherMapped = false;
};

// Runs GLib's and X's queues until the condition holds.
template <typename Condition>
Clock::time_point waitUntil(PopupWatch& popup, const char* what, Condition done) {
    const Clock::time_point deadline = Clock::now() + kWaitLimit;
    for (;;) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        popup.poll();
        if (done())
            return Clock::now();
        if (Clock::now() > deadline)
            fail(std::string("timed out waiting for ") + what);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void pause(PopupWatch& popup, Clock::duration length) {
    const Clock::time_point until = Clock::now() + length;
    waitUntil(popup, "a pause", [until] { return Clock::now() >= until; });
}

struct Commits {
    std::optional<Clock::time_point> at;
    std::string text;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool isShort = application.arguments().contains(QStringLiteral("--short"));
    const int rounds = isShort ? 5 : 200;
    const int wordCount = isShort ? 2000 : 100000;
    const int warmUp = 3;

    QTemporaryDir folder;
    const QString program = placeQuenlo(folder, wordCount);
    const int prefixes = wordCount / 26;

    XvfbServer server;
    if (!server.start())
        fail(server.error().toStdString());
    QProcessEnvironment environment = privateDesktopEnvironment(folder, server.display());
    QFile settings(folder.filePath(QStringLiteral("config/Quenlo/Quenlo.conf")));
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[Type]\nC5=1\nC4=1\nOpt1=false\nOpt2=true\n[Options]\nInputMethod=IBus\n") < 0)
        fail("cannot write the settings");
    settings.close();

    Display* display = XOpenDisplay(server.display().toLatin1().constData());
    if (!display)
        fail("cannot open the Xvfb display");
    PopupWatch popup(display);

    const QString address = QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("ibus"));
    environment.insert(QStringLiteral("IBUS_ADDRESS"), address);
    const auto startChild = [&environment](QProcess& process, const QString& path,
                                           const QStringList& arguments) {
        process.setProgram(path);
        process.setArguments(arguments);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process.start();
        if (!process.waitForStarted())
            fail(path.toStdString() + " did not start");
    };
    QProcess daemon;
    daemon.setStandardErrorFile(QProcess::nullDevice());
    startChild(daemon, QStringLiteral("ibus-daemon"),
               {QStringLiteral("--single"), QStringLiteral("--panel=disable"),
                QStringLiteral("--emoji-extension=disable"), QStringLiteral("--config=disable"),
                QStringLiteral("--address=") + address});

    qputenv("IBUS_ADDRESS", address.toUtf8());
    ibus_init();
    IBusBus* bus = nullptr;
    waitUntil(popup, "ibus-daemon", [&bus] {
        if (bus)
            g_object_unref(bus);
        bus = ibus_bus_new();
        return ibus_bus_is_connected(bus);
    });

    QProcess quenlo;
    startChild(quenlo, program, {});
    waitUntil(popup, "the quenlo main window", [&popup] { return popup.otherMapped(); });
    waitUntil(popup, "the engine", [bus] { return ibus_bus_set_global_engine(bus, "quenlo"); });

    IBusInputContext* context = ibus_bus_create_input_context(bus, "bench");
    if (!context)
        fail("no input context");
    ibus_input_context_set_capabilities(context, IBUS_CAP_FOCUS);
    ibus_input_context_focus_in(context);
    Commits commits;
    g_signal_connect(context, "commit-text",
                     G_CALLBACK(+[](IBusInputContext*, IBusText* text, Commits* seen) {
                         seen->at = Clock::now();
                         seen->text = ibus_text_get_text(text);
                     }),
                     &commits);
    waitUntil(popup, "the engine at the input context", [context] {
        IBusEngineDesc* engine = ibus_input_context_get_engine(context);
        return engine && g_strcmp0(ibus_engine_desc_get_name(engine), "quenlo") == 0;
    });

    const auto tap = [context](guint keyval) {
        ibus_input_context_process_key_event_async(context, keyval, 0, 0, -1, nullptr, nullptr, nullptr);
        ibus_input_context_process_key_event_async(context, keyval, 0, IBUS_RELEASE_MASK, -1, nullptr,
                                                   nullptr, nullptr);
    };

    std::vector<double> toMapped;
    std::vector<double> toCommitted;
    for (int round = 0; round < warmUp + rounds; ++round) {
        tap(IBUS_KEY_BackSpace);
        waitUntil(popup, "the pop-up to hide", [&popup] { return !popup.mapped(); });
        const int prefixNumber = static_cast<int>((static_cast<long long>(round) * 7919) % prefixes);
        const std::string prefix = numberedLetters(prefixNumber, 3);
        for (std::size_t i = 0; i < 2; ++i) {
            pause(popup, kTypingCadence);
            tap(static_cast<guint>(prefix[i]));
        }
        pause(popup, kTypingCadence);
        const Clock::time_point pressed = Clock::now();
        tap(static_cast<guint>(prefix[2]));
        const Clock::time_point mapped = waitUntil(popup, "the pop-up", [&popup] { return popup.mapped(); });

        pause(popup, kReadingPause);
        commits = {};
        const Clock::time_point completing = Clock::now();
        tap(IBUS_KEY_Tab);
        const Clock::time_point committed =
            waitUntil(popup, "the committed rest of the word", [&commits] { return commits.at.has_value(); });
        if (commits.text != "aing")
            fail("committed \"" + commits.text + "\", not the rest of " + prefix + "aing");
        if (round >= warmUp) {
            toMapped.push_back(milliseconds(mapped - pressed));
            toCommitted.push_back(milliseconds(committed - completing));
        }
    }

    std::printf("latency through the IBus engine, %d rounds, %d words\n", rounds, wordCount);
    printLatency("key press -> pop-up mapped:", toMapped, kTargetP99Ms);
    printLatency("completion key -> text committed:", toCommitted, kTargetP99Ms);

    g_object_unref(context);
    quenlo.terminate();
    quenlo.waitForFinished();
    daemon.terminate();
    daemon.waitForFinished();
    g_object_unref(bus);
    XCloseDisplay(display);
    return 0;
}
