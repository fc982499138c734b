// Tells, through the accessibility bus (AT-SPI), whether the focused text field is a password field.
// It listens to focus changes only, never to keys: one D-Bus signal and one role query per change.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDBusMessage;
class QDBusPendingCallWatcher;

class AtspiFieldWatch : public QObject {
    Q_OBJECT
public:
    // Called on the UI thread when the answer changes.
    using Handler = std::function<void(bool passwordField)>;

    explicit AtspiFieldWatch(Handler handler, QObject* parent = nullptr);
    ~AtspiFieldWatch() override;

    // Starts listening, without waiting: the session bus is asked for the accessibility bus, and
    // assistive-technology support is switched on for the desktop's applications if it was off.
    // False, with the reason in error, when there is no session bus to ask.
    bool start(QString& error);
    // Stops listening and switches assistive-technology support back off if this watch switched it on.
    void stop();
    bool running() const { return m_running; }

    // Whether the object that last took the focus is a password field.
    bool passwordField() const { return m_passwordField; }
    // Forgets the focused field: the focus went where no accessible object tells of it.
    void forgetField();

    // The AT-SPI role of password text; a PIN field reports it too.
    static constexpr unsigned passwordTextRole = 40;

private slots:
    void focusStateChanged(const QDBusMessage& message);

private:
    void connectToAccessibilityBus(const QString& address);
    void roleAnswered(QDBusPendingCallWatcher* call, quint64 serial);
    void setPasswordField(bool password);
    void setAccessibilityEnabled(bool enabled, bool wait);

    Handler m_handler;
    bool m_running = false;
    bool m_enabledByThisWatch = false;
    bool m_passwordField = false;
    bool m_busConnected = false;
    QString m_busName;
    QString m_focusedService;
    QString m_focusedPath;
    quint64 m_focusSerial = 0;
    quint64 m_startSerial = 0;
};
