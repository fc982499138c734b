// A private Xvfb server for tests and benchmarks that need a real X display.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <csignal>
#include <sys/prctl.h>

class XvfbServer {
public:
    ~XvfbServer() { stop(); }

    // Starts Xvfb on a free display number; false, with the reason in error(), when it cannot.
    bool start() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty()) {
            m_error = QStringLiteral("Xvfb is not installed");
            return false;
        }
        // -displayfd: Xvfb picks a free number itself and writes it to its output once it listens.
        // -noreset: a server resets when its last client leaves, and refuses the next one meanwhile.
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                QStringLiteral("-noreset")});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that dies must not leave its server behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
        }
        const QByteArray number = m_process.readLine().trimmed();
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
