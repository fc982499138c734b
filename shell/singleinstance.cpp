// The running program's local socket and a later start's request to it.
#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace {
// One line each way: the request, then the answer.
constexpr int connectTimeoutMs = 1000;
constexpr int requestTimeoutMs = 1000;
constexpr qint64 longestRequest = 64;
const QByteArray answer = "ok\n";

QByteArray requestLine(SingleInstance::Request request) {
    switch (request) {
    case SingleInstance::Request::Show:
        return "show\n";
    case SingleInstance::Request::InputMethod:
        return "ibus\n";
    case SingleInstance::Request::Nothing:
        break;
    }
    return "run\n";
}

} // namespace

SingleInstance::SingleInstance(QString name)
    : m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
#ifdef Q_OS_WIN
    // Pipe names are machine-wide: the user's profile and the session name tell one user's sessions
    // from another's.
    const QByteArray key =
        (QDir::homePath() + QLatin1Char('|') + qEnvironmentVariable("SESSIONNAME")).toUtf8();
    return QStringLiteral("quenlo-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
#else
    // Qt falls back to a private folder of its own under the temporary folder when the session names none.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/quenlo.instance");
#endif
}

SingleInstance::Claim SingleInstance::claim(Request request, int answerTimeoutMs) {
    // Two starts at the same moment: the one that loses the race to listen asks the winner.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(connectTimeoutMs)) {
            socket.write(requestLine(request));
            socket.flush();
            if (socket.waitForReadyRead(answerTimeoutMs) && socket.readLine(longestRequest) == answer)
                return Claim::HandedOver;
            return Claim::Unanswered;
        }
        // A socket that refuses was left by a program that ended without closing it.
        if (socket.error() == QLocalSocket::ConnectionRefusedError)
            QLocalServer::removeServer(m_name);
        auto server = std::make_unique<QLocalServer>(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (server->listen(m_name)) {
            m_server = server.release();
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answerNextStart);
            return Claim::First;
        }
        m_problem = server->errorString();
        if (server->serverError() != QAbstractSocket::AddressInUseError)
            break;
    }
    return Claim::First;
}

void SingleInstance::answerNextStart() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its line is let go.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestRequest)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(longestRequest);
            socket->write(answer);
            socket->disconnectFromServer();
            if (line == requestLine(Request::Show))
                emit requested(Request::Show);
            else if (line == requestLine(Request::InputMethod))
                emit requested(Request::InputMethod);
            else
                emit requested(Request::Nothing);
        });
    }
}
