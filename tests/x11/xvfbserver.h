// A private Xvfb server for tests and benchmarks that need a real X display.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

class XvfbServer {
public:
    ~XvfbServer() { stop(); }

    // Starts Xvfb on a free display number; false, with the reason in error(), when it cannot.
    bool start() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        int fds[2];
        if (program.isEmpty() || ::pipe(fds) != 0) {
            m_error = program.isEmpty() ? QStringLiteral("Xvfb is not installed")
                                        : QStringLiteral("cannot make a pipe");
            return false;
        }
        // -displayfd: Xvfb picks a free number itself and writes it to this pipe once it listens.
        // -noreset: a server resets when its last client leaves, and refuses the next one meanwhile.
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                                QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that dies must not leave its server behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        ::close(fds[1]);
        QByteArray number;
        char c = 0;
        for (;;) {
            const ssize_t got = ::read(fds[0], &c, 1);
            if (got == 1 && c != '\n')
                number += c;
            else if (got >= 0 || errno != EINTR)
                break;
        }
        ::close(fds[0]);
        if (number.isEmpty()) {
            m_error = QStringLiteral("Xvfb did not start");
            stop();
            return false;
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
        return true;
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QString display() const { return m_display; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QString m_display;
    QString m_error;
};
