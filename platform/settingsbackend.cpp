// QSettings behind the SettingsBackend interface.
#include "settingsbackend.h"

#include <QSettings>

namespace {
const QString organization = QStringLiteral("Quenlo");

QString settingsKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

std::optional<QString> QSettingsBackend::value(const QString& application, const QString& section,
                                               const QString& key) const {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organization, application);
    const QVariant stored = settings.value(settingsKey(section, key));
    if (!stored.isValid())
        return std::nullopt;
    return stored.toString();
}

bool QSettingsBackend::setValue(const QString& application, const QString& section, const QString& key,
                                const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organization, application);
    settings.setValue(settingsKey(section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
