// One running program per user session on Windows: the first start owns a message-only window of a
// name known to later starts, which find it and hand it their request.
#include "platform/singleinstance.h"

#include "win32messagewindow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMetaObject>

namespace {
// Registered once per session, so that no other program's message of the same number reaches it.
UINT requestMessage() {
    static const UINT message = RegisterWindowMessageW(L"Quenlo.InstanceRequest");
    return message;
}
constexpr LRESULT accepted = 1;
// How long a start waits for another that is finding or making the window at the same moment.
constexpr DWORD raceTimeoutMs = 2000;

SingleInstance::Request requestOf(WPARAM value) {
    switch (value) {
    case 1:
        return SingleInstance::Request::Show;
    case 2:
        return SingleInstance::Request::InputMethod;
    default:
        return SingleInstance::Request::Nothing;
    }
}

WPARAM valueOf(SingleInstance::Request request) {
    switch (request) {
    case SingleInstance::Request::Show:
        return 1;
    case SingleInstance::Request::InputMethod:
        return 2;
    case SingleInstance::Request::Nothing:
        break;
    }
    return 0;
}

LRESULT CALLBACK instanceProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* instance = reinterpret_cast<SingleInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (instance && message == requestMessage()) {
        // Acted on once the later start has its answer and ends.
        const SingleInstance::Request request = requestOf(wParam);
        QMetaObject::invokeMethod(
            instance, [instance, request] { emit instance->requested(request); }, Qt::QueuedConnection);
        return accepted;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

struct SingleInstance::Listener {
    HWND window = nullptr;
    ~Listener() {
        if (window)
            DestroyWindow(window);
    }
};

SingleInstance::SingleInstance(QString name)
    : m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    // Message-only windows are found only on this desktop; the user's profile and the session name
    // tell one user's sessions from another's where a desktop is shared.
    const QByteArray key = (QDir::homePath() + QLatin1Char('|') + qEnvironmentVariable("SESSIONNAME")).toUtf8();
    return QStringLiteral("Quenlo.Instance.") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
}

SingleInstance::Claim SingleInstance::claim(Request request, int answerTimeoutMs) {
    const std::wstring className = m_name.toStdWString();
    // Two starts at the same moment: the one that finds no window makes it before the other looks.
    const HANDLE race = CreateMutexW(nullptr, FALSE, (L"Local\\" + className).c_str());
    const DWORD waited = race ? WaitForSingleObject(race, raceTimeoutMs) : WAIT_FAILED;
    Claim claim = Claim::First;
    if (const HWND running = FindWindowExW(HWND_MESSAGE, nullptr, className.c_str(), nullptr)) {
        DWORD_PTR answer = 0;
        const LRESULT sent = SendMessageTimeoutW(running, requestMessage(), valueOf(request), 0,
                                                 SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT,
                                                 static_cast<UINT>(answerTimeoutMs), &answer);
        claim = sent && answer == accepted ? Claim::HandedOver : Claim::Unanswered;
    } else {
        auto listener = std::make_unique<Listener>();
        listener->window = createMessageWindow(className.c_str(), instanceProcedure, this);
        if (listener->window)
            m_listener = std::move(listener);
        else
            m_problem = QStringLiteral("its window could not be made (error %1)").arg(GetLastError());
    }
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(race);
    if (race)
        CloseHandle(race);
    return claim;
}
