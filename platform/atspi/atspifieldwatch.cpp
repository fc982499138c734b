// Tells through AT-SPI whether the focused text field is a password field.
#include "atspifieldwatch.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

namespace {
const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString registryService = QStringLiteral("org.a11y.atspi.Registry");
const QString registryPath = QStringLiteral("/org/a11y/atspi/registry");
const QString registryInterface = QStringLiteral("org.a11y.atspi.Registry");
const QString objectEvents = QStringLiteral("org.a11y.atspi.Event.Object");
const QString focusedEvent = QStringLiteral("object:state-changed:focused");
// A focus change is answered by one role query; a field whose application does not answer in this
// time is unknown until the answer comes, for as long as the bus waits for one.
constexpr int roleAnswerDueMs = 1000;
constexpr int roleQueryTimeoutMs = 20000;
} // namespace

AtspiFieldWatch::AtspiFieldWatch(Handler handler, ProblemHandler problem, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_problem(std::move(problem)) {}

AtspiFieldWatch::~AtspiFieldWatch() {
    stop();
}

bool AtspiFieldWatch::start(QString& error) {
    if (m_running)
        return true;
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        error = QStringLiteral("there is no D-Bus session bus, through which password fields are told");
        return false;
    }
    m_running = true;
    const quint64 start = ++m_startSerial;

    // Applications tell their fields' roles only while assistive-technology support is on.
    QDBusMessage isEnabled =
        QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, QStringLiteral("Get"));
    isEnabled << statusInterface << QStringLiteral("IsEnabled");
    auto* enabledCall = new QDBusPendingCallWatcher(session.asyncCall(isEnabled), this);
    connect(enabledCall, &QDBusPendingCallWatcher::finished, this,
            [this, start](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (start != m_startSerial || !m_running || reply.isError())
                    return;
                if (!reply.value().variant().toBool()) {
                    setAccessibilityEnabled(true, false);
                    m_enabledByThisWatch = true;
                }
            });

    const QDBusMessage getAddress =
        QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetAddress"));
    auto* addressCall = new QDBusPendingCallWatcher(session.asyncCall(getAddress), this);
    connect(addressCall, &QDBusPendingCallWatcher::finished, this,
            [this, start](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QString> reply = *call;
                if (start != m_startSerial || !m_running)
                    return;
                if (reply.isError()) {
                    unreachable(QStringLiteral("the accessibility bus cannot be found (%1)")
                                    .arg(reply.error().message()));
                    return;
                }
                connectToAccessibilityBus(reply.value());
            });
    return true;
}

void AtspiFieldWatch::connectToAccessibilityBus(const QString& address) {
    m_busName = QStringLiteral("quenlo-atspi-%1").arg(m_startSerial);
    QDBusConnection bus = QDBusConnection::connectToBus(address, m_busName);
    if (!bus.isConnected()) {
        unreachable(
            QStringLiteral("the accessibility bus cannot be reached (%1)").arg(bus.lastError().message()));
        QDBusConnection::disconnectFromBus(m_busName);
        m_busName.clear();
        return;
    }
    m_busConnected = true;
    // Matched by the bus on the first argument, so other state changes never reach this program.
    bus.connect(QString(), QString(), objectEvents, QStringLiteral("StateChanged"),
                QStringList{QStringLiteral("focused")}, QString(), this,
                SLOT(focusStateChanged(QDBusMessage)));
    // Toolkits send an event only when some listener registered for it.
    QDBusMessage registration = QDBusMessage::createMethodCall(
        registryService, registryPath, registryInterface, QStringLiteral("RegisterEvent"));
    // No application named: focus events of every application.
    registration << focusedEvent << QStringList() << QString();
    auto* registered = new QDBusPendingCallWatcher(bus.asyncCall(registration), this);
    connect(registered, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!call->isError() || !m_busConnected)
            return;
        // Registries before 2.46 take the event's name alone.
        QDBusMessage older = QDBusMessage::createMethodCall(registryService, registryPath, registryInterface,
                                                            QStringLiteral("RegisterEvent"));
        older << focusedEvent;
        QDBusConnection(m_busName).asyncCall(older);
    });
}

void AtspiFieldWatch::stop() {
    if (!m_running)
        return;
    m_running = false;
    ++m_startSerial;
    if (m_busConnected) {
        QDBusConnection bus(m_busName);
        bus.disconnect(QString(), QString(), objectEvents, QStringLiteral("StateChanged"),
                       QStringList{QStringLiteral("focused")}, QString(), this,
                       SLOT(focusStateChanged(QDBusMessage)));
        QDBusMessage deregistration = QDBusMessage::createMethodCall(
            registryService, registryPath, registryInterface, QStringLiteral("DeregisterEvent"));
        deregistration << focusedEvent;
        bus.call(deregistration, QDBus::Block, 200);
        QDBusConnection::disconnectFromBus(m_busName);
        m_busConnected = false;
        // Names on a bus started anew may come again for other applications.
        m_servicePids.clear();
    }
    if (m_enabledByThisWatch) {
        // Waited for briefly: this may be the last thing the program does.
        setAccessibilityEnabled(false, true);
        m_enabledByThisWatch = false;
    }
    forgetField();
}

void AtspiFieldWatch::forgetField() {
    m_focusedService.clear();
    m_focusedPath.clear();
    ++m_focusSerial;
    m_field = Field::NoField;
}

void AtspiFieldWatch::unreachable(const QString& why) {
    if (m_problem)
        m_problem(why);
}

void AtspiFieldWatch::setAccessibilityEnabled(bool enabled, bool wait) {
    QDBusMessage set =
        QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, QStringLiteral("Set"));
    set << statusInterface << QStringLiteral("IsEnabled") << QVariant::fromValue(QDBusVariant(enabled));
    if (wait)
        QDBusConnection::sessionBus().call(set, QDBus::Block, 200);
    else
        QDBusConnection::sessionBus().asyncCall(set);
}

void AtspiFieldWatch::focusStateChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (!m_running || arguments.size() < 2 || arguments[0].toString() != QStringLiteral("focused"))
        return;
    // This program's own windows (the pop-up's list takes the accessible focus as it fills) are not
    // where the keys go. Which application sent the event is asked of the bus once per application,
    // the event waiting for the answer.
    const auto known = m_servicePids.constFind(message.service());
    if (known == m_servicePids.constEnd()) {
        QDBusMessage who = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        who << message.service();
        auto* call = new QDBusPendingCallWatcher(QDBusConnection(m_busName).asyncCall(who), this);
        connect(call, &QDBusPendingCallWatcher::finished, this,
                [this, message, start = m_startSerial](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    const QDBusPendingReply<uint> reply = *answered;
                    if (start != m_startSerial)
                        return;
                    m_servicePids.insert(message.service(), reply.isError() ? 0 : reply.value());
                    focusStateChanged(message);
                });
        return;
    }
    if (*known == QCoreApplication::applicationPid())
        return;
    const bool gained = arguments[1].toInt() != 0;
    if (!gained) {
        if (message.service() == m_focusedService && message.path() == m_focusedPath) {
            forgetField();
            if (m_handler)
                m_handler(m_field);
        }
        return;
    }
    m_focusedService = message.service();
    m_focusedPath = message.path();
    const quint64 serial = ++m_focusSerial;
    const QDBusMessage getRole = QDBusMessage::createMethodCall(m_focusedService, m_focusedPath,
                                                                QStringLiteral("org.a11y.atspi.Accessible"),
                                                                QStringLiteral("GetRole"));
    auto* call =
        new QDBusPendingCallWatcher(QDBusConnection(m_busName).asyncCall(getRole, roleQueryTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, serial](QDBusPendingCallWatcher* answered) { roleAnswered(answered, serial); });
    QTimer::singleShot(roleAnswerDueMs, this, [this, serial] {
        if (serial == m_focusSerial && m_field == Field::Asked)
            setField(Field::Unknown);
    });
    setField(Field::Asked);
}

void AtspiFieldWatch::roleAnswered(QDBusPendingCallWatcher* call, quint64 serial) {
    call->deleteLater();
    // Only the answer about the object that has the focus now counts.
    if (serial != m_focusSerial || !m_running)
        return;
    const QDBusPendingReply<uint> reply = *call;
    if (!reply.isError()) {
        setField(reply.value() == passwordTextRole ? Field::Password : Field::Ordinary);
        return;
    }
    // No answer at all tells nothing: the field may hide what is typed into it. An object or an
    // application that is gone is not where the keys go; what took the focus from it tells of itself.
    const QDBusError::ErrorType error = reply.error().type();
    const bool late =
        error == QDBusError::NoReply || error == QDBusError::Timeout || error == QDBusError::TimedOut;
    setField(late ? Field::Unknown : Field::NoField);
}

void AtspiFieldWatch::setField(Field field) {
    // Asked again after another focus change is news too: the handler ties it to the focused window.
    if (field == m_field && field != Field::Asked)
        return;
    m_field = field;
    if (m_handler)
        m_handler(field);
}
