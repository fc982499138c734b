// Run Minimized and Start with the session.
#include "startupoptions.h"

#include "platform/messageboxes.h"
#include "platform/sessionautostart.h"
#include "settingsstore.h"

#include <QAction>
#include <QMenu>

namespace {
const QString optionsSection = QStringLiteral("Options");
const QString runMinimizedKey = QStringLiteral("RunMinimized");
} // namespace

StartupOptions::StartupOptions(QMenu* options, QAction* runMinimized, QAction* startWithSession,
                               SettingsStore& settings, SessionAutostart* autostart, MessageBoxes& messages)
    : m_runMinimized(runMinimized)
    , m_startWithSession(startWithSession)
    , m_settings(settings)
    , m_autostart(autostart)
    , m_messages(messages) {
    connect(m_runMinimized, &QAction::triggered, this, [this](bool checked) {
        m_settings.WriteSetting(settingsApplication, optionsSection, runMinimizedKey,
                                checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    m_startWithSession->setVisible(m_autostart && m_autostart->available());
    connect(m_startWithSession, &QAction::triggered, this, &StartupOptions::setStartWithSession);
    // The user may change the entry with the desktop's own settings while the program runs.
    connect(options, &QMenu::aboutToShow, this, &StartupOptions::refreshStartWithSession);
}

void StartupOptions::restore() {
    const QString stored =
        m_settings.ReadSetting(settingsApplication, optionsSection, runMinimizedKey, QString());
    m_runMinimized->setChecked(stored.trimmed() == QStringLiteral("1"));
    refreshStartWithSession();
}

bool StartupOptions::startMinimized() const {
    return m_runMinimized->isChecked();
}

void StartupOptions::refreshStartWithSession() {
    m_startWithSession->setChecked(m_autostart && m_autostart->isEnabled());
}

void StartupOptions::setStartWithSession(bool enabled) {
    QString error;
    if (!m_autostart || !m_autostart->setEnabled(enabled, error))
        m_messages.inform(
            applicationTitle,
            QStringLiteral("Start with the session could not be %1: %2.")
                .arg(enabled ? QStringLiteral("switched on") : QStringLiteral("switched off"), error));
    refreshStartWithSession();
}
