// When completion must pause, and why.
#include "completionpause.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString idKey = QStringLiteral("id");
const QString nameKey = QStringLiteral("name");

bool sameName(const QString& a, const std::string& b) {
    return !a.isEmpty() && a.compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}
} // namespace

QString CompletionPause::text() const {
    switch (reason) {
    case Reason::None:
        return QString();
    case Reason::PasswordField:
        return QStringLiteral("password field");
    case Reason::FieldAsked:
        return QString();
    case Reason::FieldUnknown:
        return QStringLiteral("the field did not say in time whether it is a password field");
    case Reason::KeyboardHeld:
        return QStringLiteral("another program holds the keyboard");
    case Reason::ExcludedApplication:
        return QStringLiteral("excluded: ") + application;
    }
    return QString();
}

bool excludes(const ExcludedApplication& excluded, const FocusedApplication& application) {
    if (application.id.empty())
        return false;
    return sameName(excluded.id, application.id) || sameName(excluded.id, application.name) ||
           sameName(excluded.name, application.id) || sameName(excluded.name, application.name);
}

CompletionPause pauseFor(const FocusState& state, const QList<ExcludedApplication>& excluded,
                         bool protectPasswordFields) {
    // The held keyboard first: whatever has the focus, the keys go to the prompt or the locker.
    if (state.keyboardHeld)
        return {CompletionPause::Reason::KeyboardHeld, QString()};
    if (protectPasswordFields && state.passwordField)
        return {CompletionPause::Reason::PasswordField, QString()};
    for (const ExcludedApplication& entry : excluded) {
        if (excludes(entry, state.application))
            return {CompletionPause::Reason::ExcludedApplication, entry.name};
    }
    if (protectPasswordFields && state.fieldUnknown)
        return {CompletionPause::Reason::FieldUnknown, QString()};
    if (protectPasswordFields && state.fieldAsked)
        return {CompletionPause::Reason::FieldAsked, QString()};
    return {};
}

QString excludedApplicationsText(const QList<ExcludedApplication>& excluded) {
    QJsonArray list;
    for (const ExcludedApplication& entry : excluded)
        list.append(QJsonObject{{idKey, entry.id}, {nameKey, entry.name}});
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

QList<ExcludedApplication> excludedApplicationsFromText(const QString& text) {
    QList<ExcludedApplication> excluded;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    for (const QJsonValue& value : document.array()) {
        const QJsonObject entry = value.toObject();
        const QString id = entry.value(idKey).toString().trimmed();
        const QString name = entry.value(nameKey).toString().trimmed();
        if (id.isEmpty() && name.isEmpty())
            continue;
        excluded.append({id.isEmpty() ? name : id, name.isEmpty() ? id : name});
    }
    return excluded;
}
