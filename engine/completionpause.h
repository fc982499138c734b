// When completion must pause, and why: a password field, or a field not known yet not to be one, a
// held keyboard, an excluded application.
#pragma once

#include "platform/focusguard.h"

#include <QList>
#include <QString>

// An application the user keeps completion away from.
struct ExcludedApplication {
    QString id;   // as the focus guard reports it
    QString name; // as the user knows it

    bool operator==(const ExcludedApplication&) const = default;
};

struct CompletionPause {
    enum class Reason { None, PasswordField, FieldAsked, FieldUnknown, KeyboardHeld, ExcludedApplication };
    Reason reason = Reason::None;
    QString application; // the excluded application's name, for ExcludedApplication

    bool paused() const { return reason != Reason::None; }
    // Why, in a few words for the status line; empty when not paused, and while a freshly focused
    // field is asked, which lasts a moment on every focus change.
    QString text() const;
    bool operator==(const CompletionPause&) const = default;
};

// Whether an exclusion names the application: by its id or name, letter case ignored, so that a
// name typed by hand ("keepassxc") finds the application however its id is written.
bool excludes(const ExcludedApplication& excluded, const FocusedApplication& application);

// The pause the focus state calls for. Password fields, and fields that may be ones, count only while
// protectPasswordFields is on.
CompletionPause pauseFor(const FocusState& state, const QList<ExcludedApplication>& excluded,
                         bool protectPasswordFields);

// The exclusion list as kept in the settings store, and back; text that is no list gives none.
QString excludedApplicationsText(const QList<ExcludedApplication>& excluded);
QList<ExcludedApplication> excludedApplicationsFromText(const QString& text);
