// ReadSetting and WriteSetting: the per-user store of the few choices that outlive a run.
#pragma once

#include "platform/settingsbackend.h"

#include <QString>
#include <functional>

// The one application name every setting is stored under.
inline const QString settingsApplication = QStringLiteral("Quenlo");

class SettingsStore {
public:
    explicit SettingsStore(SettingsBackend& backend);

    // The stored text, or defaultText when the key or its section is absent.
    QString ReadSetting(const QString& application, const QString& section, const QString& key,
                        const QString& defaultText) const;
    // Stores the text, replacing any earlier one. A store that cannot be written is reported
    // to the write-failure handler: the user's choice would otherwise be lost unnoticed.
    bool WriteSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value);

    void setWriteFailureHandler(std::function<void(const QString& what)> handler);

private:
    SettingsBackend& m_backend;
    std::function<void(const QString&)> m_writeFailed;
};
