// The notification-area icon and the main window's visibility around it.
#pragma once

#include <QIcon>
#include <QString>
#include <functional>

class QWidget;
class TrayIcon;

class WindowTray {
public:
    // tip is the icon's tooltip; notice shows a line in the main window for the user.
    WindowTray(QWidget* mainWindow, TrayIcon& tray, QIcon icon, QString tip,
               std::function<void(const QString&)> notice);

    // Puts the icon in place; adding it again keeps the one icon.
    void IconTray();
    // Minimize (Command1): hides the window to the icon, or, where there is no notification
    // area to come back from, minimizes it to the taskbar and says why.
    void minimize();
    // The window frame's close box: hides to the icon where there is one. False when there is
    // none and the program should end instead.
    bool hideOnClose();
    // Adds a line to the icon's tip, e.g. why completion cannot see the keyboard.
    void setTipProblem(const QString& problem);
    // Exit: the icon goes before the process ends.
    void removeIcon();

private:
    QString fullTip() const;

    QWidget* m_mainWindow;
    TrayIcon& m_tray;
    QIcon m_icon;
    QString m_tip;
    QString m_problem;
    std::function<void(const QString&)> m_notice;
};
