// Tells, through the accessibility bus (AT-SPI), whether the focused text field is a password field.
// It listens to focus changes only, never to keys: one D-Bus signal and one role query per change.
// Until the role is answered the field is being asked, and one that does not answer in time is
// unknown: the caller decides what that means, never taking it for an ordinary field by itself.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <algorithm>
#include <functional>
#include <memory>

class QDBusMessage;
class QDBusPendingCallWatcher;

class AtspiFieldWatch : public QObject {
    Q_OBJECT
public:
    // What is known of the field that has the accessible focus.
    enum class Field { NoField, Asked, Ordinary, Password, Unknown };
    // Called on the UI thread when it changes.
    using Handler = std::function<void(Field field)>;
    // Called on the UI thread, once, when the accessibility bus cannot be reached: why, for the user.
    using ProblemHandler = std::function<void(const QString& problem)>;

    AtspiFieldWatch(Handler handler, ProblemHandler problem, QObject* parent = nullptr);
    ~AtspiFieldWatch() override;

    // Starts listening, without waiting: the session bus is asked for the accessibility bus, and
    // assistive-technology support is switched on for the desktop's applications if it was off.
    // False, with the reason in error, when there is no session bus to ask; later failures to reach
    // the accessibility bus go to the problem handler.
    bool start(QString& error);
    // Stops listening and switches assistive-technology support back off if this watch switched it on.
    void stop();
    bool running() const { return m_running; }
    // Connected to the accessibility bus: applications that take part tell of their focus.
    bool connected() const { return m_busConnected; }

    Field field() const { return m_field; }
    // Whether the application of this process has told of its focus here before: it takes part.
    bool tellsFocus(qint64 pid) const {
        return pid > 0 &&
               std::find(m_servicePids.cbegin(), m_servicePids.cend(), pid) != m_servicePids.cend();
    }
    // Forgets the focused field, without calling the handler: the focus went elsewhere, and what
    // may still come about the old field no longer counts.
    void forgetField();

    // The AT-SPI role of password text; a PIN field reports it too.
    static constexpr unsigned passwordTextRole = 40;

private slots:
    void focusStateChanged(const QDBusMessage& message);

private:
    void connectToAccessibilityBus(const QString& address);
    void roleAnswered(QDBusPendingCallWatcher* call, quint64 serial);
    void setField(Field field);
    void setAccessibilityEnabled(bool enabled, bool wait);
    void unreachable(const QString& why);

    Handler m_handler;
    ProblemHandler m_problem;
    bool m_running = false;
    bool m_enabledByThisWatch = false;
    Field m_field = Field::NoField;
    bool m_busConnected = false;
    QString m_busName;
    QString m_focusedService;
    QString m_focusedPath;
    // The process of each application that told of a focus, by its name on the bus.
    QHash<QString, qint64> m_servicePids;
    quint64 m_focusSerial = 0;
    quint64 m_startSerial = 0;
};
