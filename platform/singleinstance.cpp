// The running program's local socket and a later start's request to it.
#include "singleinstance.h"

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

void answerNextStart(SingleInstance& instance, QLocalServer& server) {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its line is let go.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { socket->abort(); });
        QObject::connect(socket, &QLocalSocket::readyRead, &instance, [&instance, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestRequest)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(longestRequest);
            socket->write(answer);
            socket->disconnectFromServer();
            if (line == requestLine(SingleInstance::Request::Show))
                emit instance.requested(SingleInstance::Request::Show);
            else if (line == requestLine(SingleInstance::Request::InputMethod))
                emit instance.requested(SingleInstance::Request::InputMethod);
            else
                emit instance.requested(SingleInstance::Request::Nothing);
        });
    }
}
} // namespace

struct SingleInstance::Listener {
    QLocalServer server;
};

SingleInstance::SingleInstance(QString name)
    : m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    // Qt falls back to a private folder of its own under the temporary folder when the session names none.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/quenlo.instance");
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
        auto listener = std::make_unique<Listener>();
        QLocalServer& server = listener->server;
        server.setSocketOptions(QLocalServer::UserAccessOption);
        if (server.listen(m_name)) {
            connect(&server, &QLocalServer::newConnection, this, [this, &server] { answerNextStart(*this, server); });
            m_listener = std::move(listener);
            return Claim::First;
        }
        m_problem = server.errorString();
        if (server.serverError() != QAbstractSocket::AddressInUseError)
            break;
    }
    return Claim::First;
}
