// The per-user settings store: text values addressed by application, section and key.
#pragma once

#include <QString>
#include <optional>

class SettingsBackend {
public:
    SettingsBackend() = default;
    SettingsBackend(const SettingsBackend&) = delete;
    SettingsBackend& operator=(const SettingsBackend&) = delete;
    virtual ~SettingsBackend() = default;

    // The stored text, or nothing when the key or its section is absent.
    virtual std::optional<QString> value(const QString& application, const QString& section,
                                         const QString& key) const = 0;
    // Stores the text, creating section and key as needed; durable when it returns true.
    virtual bool setValue(const QString& application, const QString& section, const QString& key,
                          const QString& value) = 0;
};

// QSettings in its native format: the registry under HKEY_CURRENT_USER\Software\Quenlo on
// Windows, $XDG_CONFIG_HOME/Quenlo/<application>.conf (~/.config by default) on Linux.
class QSettingsBackend final : public SettingsBackend {
public:
    std::optional<QString> value(const QString& application, const QString& section,
                                 const QString& key) const override;
    bool setValue(const QString& application, const QString& section, const QString& key,
                  const QString& value) override;
};
