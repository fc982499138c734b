// ReadSetting and WriteSetting over the settings backend.
#include "settingsstore.h"

SettingsStore::SettingsStore(SettingsBackend& backend)
    : m_backend(backend) {}

QString SettingsStore::ReadSetting(const QString& application, const QString& section, const QString& key,
                                   const QString& defaultText) const {
    return m_backend.value(application, section, key).value_or(defaultText);
}

bool SettingsStore::WriteSetting(const QString& application, const QString& section, const QString& key,
                                 const QString& value) {
    if (m_backend.setValue(application, section, key, value))
        return true;
    if (m_writeFailed)
        m_writeFailed(section + QLatin1Char('/') + key);
    return false;
}

void SettingsStore::setWriteFailureHandler(std::function<void(const QString&)> handler) {
    m_writeFailed = std::move(handler);
}
