// Pauses completion where it must not watch the keys, keeps the user's privacy choices, and says
// in the main window why completion is paused.
#pragma once

#include "engine/completionpause.h"
#include "platform/focusguard.h"

#include <QObject>
#include <functional>

class CompletionEngine;
class SettingsStore;

class PrivacyGuard : public QObject {
    Q_OBJECT
public:
    // showPause receives the status line's text, empty when completion runs.
    PrivacyGuard(FocusGuard& focus, CompletionEngine& engine, SettingsStore& settings,
                 std::function<void(const QString&)> showPause);

    // Reads the switch and the exclusion list from the settings store.
    void restore();
    // Starts watching the focus. A guard that cannot start leaves completion as it is and says why.
    void start();

    bool protectPasswordFields() const { return m_protectPasswordFields; }
    // Persisted at once.
    void setProtectPasswordFields(bool protect);
    const QList<ExcludedApplication>& excludedApplications() const { return m_excluded; }
    // Persisted at once; applies to the application that has the focus now.
    void setExcludedApplications(const QList<ExcludedApplication>& excluded);
    // The last application other than this program that had the focus; an empty id when none.
    FocusedApplication previousApplication() const { return m_previous; }
    CompletionPause pause() const { return m_pause; }

signals:
    // Password fields cannot be told apart, and why, in a sentence for the user; once per reason.
    void passwordFieldsUnknowable(const QString& problem);

private:
    void focusChanged(const FocusState& state);
    void apply();

    FocusGuard& m_focus;
    CompletionEngine& m_engine;
    SettingsStore& m_settings;
    std::function<void(const QString&)> m_showPause;
    bool m_protectPasswordFields = true;
    QList<ExcludedApplication> m_excluded;
    FocusedApplication m_previous;
    CompletionPause m_pause;
    std::string m_problemTold;
};
