// One running program per user and session: a later start hands its request to the running one
// and ends. What it finds the running one by (a local socket; on Windows a message-only window)
// goes with the process that owns it, so a crash leaves nothing that keeps the next start from
// running.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

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

    // name: what the running program is found by, as defaultName() gives it; tests pass their own.
    explicit SingleInstance(QString name = defaultName());
    ~SingleInstance() override;

    // The name of this user and session: on Linux a socket in the user's runtime folder
    // ($XDG_RUNTIME_DIR, private to the user and gone at log-out).
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
    // What listens for later starts once this one runs.
    struct Listener;

    QString m_name;
    std::unique_ptr<Listener> m_listener;
    QString m_problem;
};
