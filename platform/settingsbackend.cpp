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
    const QString name = settingsKey(section, key);
    // Each write rewrites the file and waits for the disk; start-up writes back values it has just
    // read, which would cost it tens of milliseconds.
    const QVariant stored = settings.value(name);
    if (stored.typeId() == QMetaType::QString && stored.toString() == value)
        return settings.status() == QSettings::NoError;
    settings.setValue(name, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
