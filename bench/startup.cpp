// Start-up of the real quenlo on a private Xvfb: from starting the process to its main window
// mapped, the median over several starts of one installation (the first start, which makes the
// settings, is not counted). The processor time quenlo used until then is shown beside it: on a
// busy machine the wall-clock time mostly measures the others.
//   bench_startup           15 starts, 133,000 words
//   bench_startup --short   2 starts, 20,000 words (only proves the measurement still runs)
#include "bench/x11latencyrun.h"
#include "tests/x11/xvfbserver.h"

#include <X11/Xlib.h>

#include <csignal>
#include <ctime>
#include <sys/prctl.h>
#include <sys/select.h>

using namespace latency;

namespace {

constexpr double kTargetMedianMs = 120.0;
constexpr auto kWaitLimit = std::chrono::seconds(20);

// Waits for a window other than the desktop's own to be mapped; returns when it was seen.
Clock::time_point waitForMainWindow(Display* display) {
    const Clock::time_point deadline = Clock::now() + kWaitLimit;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return Clock::now();
        }
        if (Clock::now() > deadline)
            fail("timed out waiting for the quenlo main window");
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(ConnectionNumber(display), &readable);
        timeval timeout{0, 10000};
        select(ConnectionNumber(display) + 1, &readable, nullptr, nullptr, &timeout);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool isShort = application.arguments().contains(QStringLiteral("--short"));
    const int starts = isShort ? 2 : 15;
    const int wordCount = isShort ? 20000 : 133000;

    QTemporaryDir folder;
    const QString program = placeQuenlo(folder, wordCount);
    XvfbServer server;
    if (!server.start())
        fail(server.error().toStdString());
    Display* display = XOpenDisplay(server.display().toLatin1().constData());
    if (!display)
        fail("cannot open the Xvfb display");
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const QProcessEnvironment environment = privateDesktopEnvironment(folder, server.display());

    std::vector<double> toMapped;
    std::vector<double> cpuToMapped;
    for (int start = 0; start <= starts; ++start) {
        QProcess quenlo;
        quenlo.setProgram(program);
        quenlo.setProcessEnvironment(environment);
        quenlo.setProcessChannelMode(QProcess::ForwardedChannels);
        quenlo.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        const Clock::time_point started = Clock::now();
        quenlo.start();
        if (!quenlo.waitForStarted())
            fail("quenlo did not start");
        clockid_t quenloClock{};
        if (clock_getcpuclockid(static_cast<pid_t>(quenlo.processId()), &quenloClock) != 0)
            fail("cannot read the processor time of quenlo");
        const Clock::time_point mapped = waitForMainWindow(display);
        timespec cpu{};
        if (clock_gettime(quenloClock, &cpu) != 0)
            fail("cannot read the processor time of quenlo");
        if (start > 0) {
            toMapped.push_back(milliseconds(mapped - started));
            cpuToMapped.push_back(static_cast<double>(cpu.tv_sec) * 1e3 +
                                  static_cast<double>(cpu.tv_nsec) / 1e6);
        }
        quenlo.terminate();
        if (!quenlo.waitForFinished(10000))
            fail("quenlo did not end");
        // The windows of this start unmap and go before the next one begins.
        XSync(display, True);
    }

    std::printf("start-up of quenlo on Xvfb, %d starts, %d words\n", starts, wordCount);
    std::printf("  %-33s p50 %6.1f ms   min %6.1f ms   max %6.1f ms   (target p50 < %.0f ms)\n",
                "start -> main window mapped:", percentile(toMapped, 0.5), percentile(toMapped, 0.0),
                percentile(toMapped, 1.0), kTargetMedianMs);
    std::printf("  %-33s p50 %6.1f ms   min %6.1f ms   max %6.1f ms\n",
                "processor time until then:", percentile(cpuToMapped, 0.5), percentile(cpuToMapped, 0.0),
                percentile(cpuToMapped, 1.0));
    XCloseDisplay(display);
    return 0;
}
