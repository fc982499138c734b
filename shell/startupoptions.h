// The Options menu's Run Minimized (kept in the settings store) and Start with the session
// (read from the session's own autostart entry every time it is shown).
#pragma once

#include <QObject>

class MessageBoxes;
class QAction;
class QMenu;
class SessionAutostart;
class SettingsStore;

class StartupOptions : public QObject {
    Q_OBJECT
public:
    // autostart may be null: the item is then hidden, as where the desktop has no way.
    StartupOptions(QMenu* options, QAction* runMinimized, QAction* startWithSession, SettingsStore& settings,
                   SessionAutostart* autostart, MessageBoxes& messages);

    // Restores Run Minimized's check mark and reads whether the session starts the program.
    void restore();
    // Whether the window should start hidden to the tray (or minimized).
    bool startMinimized() const;

private:
    void refreshStartWithSession();
    void setStartWithSession(bool enabled);

    QAction* m_runMinimized;
    QAction* m_startWithSession;
    SettingsStore& m_settings;
    SessionAutostart* m_autostart;
    MessageBoxes& m_messages;
};
