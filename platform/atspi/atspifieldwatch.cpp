// Tells through AT-SPI whether the focused text field is a password field.
#include "atspifieldwatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

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
// A focus change is answered by one role query; an application that does not answer in this time
// is taken to have no password field focused.
constexpr int roleQueryTimeoutMs = 1000;
} // namespace

AtspiFieldWatch::AtspiFieldWatch(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler)) {}

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
    connect(
        addressCall, &QDBusPendingCallWatcher::finished, this, [this, start](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<QString> reply = *call;
            if (start != m_startSerial || !m_running)
                return;
            if (reply.isError()) {
                qWarning("quenlo: the accessibility bus cannot be found (%s): password fields are not told",
                         qPrintable(reply.error().message()));
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
        qWarning("quenlo: the accessibility bus cannot be reached (%s): password fields are not told",
                 qPrintable(bus.lastError().message()));
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
    setPasswordField(false);
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
    const bool gained = arguments[1].toInt() != 0;
    if (!gained) {
        if (message.service() == m_focusedService && message.path() == m_focusedPath)
            forgetField();
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
}

void AtspiFieldWatch::roleAnswered(QDBusPendingCallWatcher* call, quint64 serial) {
    call->deleteLater();
    // Only the answer about the object that has the focus now counts.
    if (serial != m_focusSerial || !m_running)
        return;
    const QDBusPendingReply<uint> reply = *call;
    setPasswordField(!reply.isError() && reply.value() == passwordTextRole);
}

void AtspiFieldWatch::setPasswordField(bool password) {
    if (password == m_passwordField)
        return;
    m_passwordField = password;
    if (m_handler)
        m_handler(password);
}
