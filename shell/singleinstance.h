// One running program per user and session: a later start hands its request to the running one
// over a local socket and ends. The socket goes with the process that listens on it, so a crash
// leaves nothing that keeps the next start from running.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // What a later start asks of the running program.
    enum class Request {
        Show,        // bring the main window to the front
        InputMethod, // IBus started the program for its engine
        Nothing,     // --minimized: the program runs, which is all that was asked
    };
    enum class Claim {
        First,      // no program ran: this one runs, and listens for later starts
        HandedOver, // the running program took the request: this start ends
        Unanswered, // a program listens but did not answer in time (stopped, or hung): this start ends
    };

    // name: the socket, as defaultName() gives it; tests pass their own.
    explicit SingleInstance(QString name = defaultName());
    ~SingleInstance() override;

    // The socket of this user and session: in the user's runtime folder ($XDG_RUNTIME_DIR, private to
    // the user and gone at log-out) on Linux.
    static QString defaultName();

    // Hands request to the running program, or becomes it. Waits at most answerTimeoutMs for an
    // answer; never waits on a program that is not there.
    Claim claim(Request request, int answerTimeoutMs = 3000);
    // Why the first start could not listen for later ones (they then run beside it); empty when it listens.
    QString problem() const { return m_problem; }

signals:
    // A later start asked this, the first one.
    void requested(SingleInstance::Request request);

private:
    void answerNextStart();

    QString m_name;
    QLocalServer* m_server = nullptr;
    QString m_problem;
};
