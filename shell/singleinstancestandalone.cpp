// For builds whose Qt has no local sockets (the Windows build's Qt is made without its network
// module): every start runs.
#include "singleinstance.h"

SingleInstance::SingleInstance(QString name)
    : m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    return QStringLiteral("quenlo");
}

SingleInstance::Claim SingleInstance::claim(Request, int) {
    m_problem = QStringLiteral("this build cannot tell whether Quenlo already runs");
    return Claim::First;
}

void SingleInstance::answerNextStart() {}
