// The program's icon in the notification area.
#pragma once

#include <QIcon>
#include <QString>
#include <functional>
#include <memory>

class QSystemTrayIcon;

class TrayIcon {
public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    virtual ~TrayIcon() = default;

    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;
    // Shows the icon with its tip; adding it again keeps the one icon.
    virtual void add(const QIcon& icon, const QString& tip) = 0;
    // Removes the icon.
    virtual void remove() = 0;
    // Whether the icon is shown.
    virtual bool shown() const = 0;
    // Called when the left button is pressed on the icon; other buttons call nothing.
    virtual void setLeftButtonHandler(std::function<void()> handler) = 0;
};

class QtTrayIcon final : public TrayIcon {
public:
    QtTrayIcon();
    ~QtTrayIcon() override;
    bool available() const override;
    void add(const QIcon& icon, const QString& tip) override;
    void remove() override;
    bool shown() const override;
    void setLeftButtonHandler(std::function<void()> handler) override;

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::function<void()> m_leftButtonHandler;
};
