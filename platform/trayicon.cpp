// QSystemTrayIcon behind the TrayIcon interface.
#include "trayicon.h"

#include <QSystemTrayIcon>

QtTrayIcon::QtTrayIcon()
    : m_icon(std::make_unique<QSystemTrayIcon>()) {
    // Trigger is the tray's own report of a left click; double clicks and the context
    // button arrive as other reasons and do nothing.
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger && m_leftButtonHandler)
                             m_leftButtonHandler();
                     });
}

QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::add(const QIcon& icon, const QString& tip) {
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->show();
}

void QtTrayIcon::remove() {
    m_icon->hide();
}

bool QtTrayIcon::shown() const {
    return m_icon->isVisible();
}

void QtTrayIcon::setLeftButtonHandler(std::function<void()> handler) {
    m_leftButtonHandler = std::move(handler);
}
