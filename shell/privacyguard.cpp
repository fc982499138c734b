// Pauses completion where it must not watch the keys and keeps the privacy choices.
#include "privacyguard.h"

#include "engine/completionengine.h"
#include "persistedoptions.h"
#include "settingsstore.h"

namespace {
const QString privacySection = QStringLiteral("Privacy");
const QString protectKey = QStringLiteral("ProtectPasswordFields");
const QString excludedKey = QStringLiteral("ExcludedApplications");
} // namespace

PrivacyGuard::PrivacyGuard(FocusGuard& focus, CompletionEngine& engine, SettingsStore& settings,
                           std::function<void(const QString&)> showPause)
    : m_focus(focus)
    , m_engine(engine)
    , m_settings(settings)
    , m_showPause(std::move(showPause)) {
    // Only while the pop-up is up may the hook hold the keyboard itself.
    connect(&m_engine, &CompletionEngine::popupVisibilityChanged, this,
            [this](bool visible) { m_focus.setOwnKeyboardHoldPossible(visible); });
}

void PrivacyGuard::restore() {
    // Anything but a clear "no" keeps the protection on.
    const std::optional<bool> protect = PersistedOptions::toBoolean(
        m_settings.ReadSetting(settingsApplication, privacySection, protectKey, QStringLiteral("True")));
    m_protectPasswordFields = protect.value_or(true);
    m_excluded = excludedApplicationsFromText(
        m_settings.ReadSetting(settingsApplication, privacySection, excludedKey, QString()));
    m_focus.setWatchPasswordFields(m_protectPasswordFields);
    apply();
}

void PrivacyGuard::start() {
    std::string error;
    if (!m_focus.start([this](const FocusState& state) { focusChanged(state); }, error)) {
        m_showPause(QStringLiteral("Password fields and excluded applications cannot be told: %1.")
                        .arg(QString::fromStdString(error)));
        return;
    }
    focusChanged(m_focus.state());
}

void PrivacyGuard::setProtectPasswordFields(bool protect) {
    m_protectPasswordFields = protect;
    m_settings.WriteSetting(settingsApplication, privacySection, protectKey,
                            protect ? QStringLiteral("True") : QStringLiteral("False"));
    m_focus.setWatchPasswordFields(protect);
    apply();
}

void PrivacyGuard::setExcludedApplications(const QList<ExcludedApplication>& excluded) {
    m_excluded = excluded;
    m_settings.WriteSetting(settingsApplication, privacySection, excludedKey,
                            excludedApplicationsText(m_excluded));
    apply();
}

void PrivacyGuard::focusChanged(const FocusState& state) {
    if (!state.application.id.empty() && !state.application.thisProgram)
        m_previous = state.application;
    if (!state.passwordFieldsProblem.empty() && state.passwordFieldsProblem != m_problemTold) {
        m_problemTold = state.passwordFieldsProblem;
        emit passwordFieldsUnknowable(
            QStringLiteral("Password fields cannot be told apart, so completion goes on in them: %1.")
                .arg(QString::fromStdString(m_problemTold)));
    }
    apply();
}

void PrivacyGuard::apply() {
    const CompletionPause pause = pauseFor(m_focus.state(), m_excluded, m_protectPasswordFields);
    // The moment a field is asked comes with every focus change: it withholds the word rather than
    // pausing, and the words counted for learning outlive it.
    const bool asked = pause.reason == CompletionPause::Reason::FieldAsked;
    const bool paused = pause.paused() && !asked;
    if (paused != m_engine.paused() || (paused && pause.reason != m_pause.reason))
        m_engine.setPaused(paused);
    // After the pause: a field that proved a password field empties the word before it could be offered.
    m_engine.setWithheld(asked);
    if (pause == m_pause)
        return;
    m_pause = pause;
    // A field being asked is not told on the status line: it lasts a moment on every focus change.
    m_showPause(pause.text().isEmpty() ? QString() : QStringLiteral("Completion paused: ") + pause.text());
}
