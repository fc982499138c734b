// Hiding the main window to the notification area and bringing it back.
#include "windowtray.h"

#include "platform/trayicon.h"

#include <QWidget>

namespace {
const QString noTrayNotice =
    QStringLiteral("This desktop has no notification area, so Minimize keeps the window on the taskbar.");
}

WindowTray::WindowTray(QWidget* mainWindow, TrayIcon& tray, QIcon icon, QString tip,
                       std::function<void(const QString&)> notice)
    : m_mainWindow(mainWindow)
    , m_tray(tray)
    , m_icon(std::move(icon))
    , m_tip(std::move(tip))
    , m_notice(std::move(notice)) {
    // Only the left button brings the window back; it is shown, never restored or resized.
    m_tray.setLeftButtonHandler([this] { m_mainWindow->show(); });
}

void WindowTray::IconTray() {
    m_tray.add(m_icon, fullTip());
}

void WindowTray::minimize() {
    if (!m_tray.available()) {
        m_mainWindow->showMinimized();
        m_notice(noTrayNotice);
        return;
    }
    m_mainWindow->hide();
    IconTray();
}

bool WindowTray::hideOnClose() {
    if (!m_tray.available())
        return false;
    m_mainWindow->hide();
    IconTray();
    return true;
}

void WindowTray::setTipProblem(const QString& problem) {
    m_problem = problem;
    if (m_tray.shown())
        IconTray();
}

void WindowTray::removeIcon() {
    m_tray.remove();
}

QString WindowTray::fullTip() const {
    return m_problem.isEmpty() ? m_tip : m_tip + QLatin1Char('\n') + m_problem;
}
