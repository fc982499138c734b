// The input route's two menu items and the setting behind them.
#include "inputroute.h"

#include "settingsstore.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace {
const QString optionsSection = QStringLiteral("Options");
const QString inputMethodKey = QStringLiteral("InputMethod");
// Any other text, or none, is the keyboard hook: what the program has always read.
const QString inputMethodValue = QStringLiteral("IBus");
const QString keyboardHookValue = QStringLiteral("Hook");

QString routeName(bool inputMethod) {
    return inputMethod ? QStringLiteral("the input method (IBus)") : QStringLiteral("the keyboard hook");
}
} // namespace

InputRoute::InputRoute(const InputRouteControls& controls, SettingsStore& settings, bool inputMethodInUse,
                       bool choosable, std::function<void(const QString&)> notice)
    : m_controls(controls)
    , m_settings(settings)
    , m_inputMethodInUse(inputMethodInUse)
    , m_choosable(choosable)
    , m_notice(std::move(notice)) {
    auto* group = new QActionGroup(this);
    group->addAction(m_controls.KeyboardHookRoute);
    group->addAction(m_controls.InputMethodRoute);
    m_controls.InputRoute->setEnabled(m_choosable);
    connect(m_controls.KeyboardHookRoute, &QAction::triggered, this, [this] { choose(false); });
    connect(m_controls.InputMethodRoute, &QAction::triggered, this, [this] { choose(true); });
}

void InputRoute::restore() {
    const bool inputMethod = m_choosable ? inputMethodChosen() : m_inputMethodInUse;
    (inputMethod ? m_controls.InputMethodRoute : m_controls.KeyboardHookRoute)->setChecked(true);
}

bool InputRoute::inputMethodChosen() const {
    return m_settings.ReadSetting(settingsApplication, optionsSection, inputMethodKey, QString())
               .trimmed()
               .compare(inputMethodValue, Qt::CaseInsensitive) == 0;
}

void InputRoute::choose(bool inputMethod) {
    if (!m_settings.WriteSetting(settingsApplication, optionsSection, inputMethodKey,
                                 inputMethod ? inputMethodValue : keyboardHookValue)) {
        restore();
        return;
    }
    if (inputMethod == m_inputMethodInUse)
        m_notice(QStringLiteral("Completion goes on through %1.").arg(routeName(inputMethod)));
    else
        m_notice(QStringLiteral("The input route changes to %1 at the next start of Quenlo; until then "
                                "completion goes on through %2.")
                     .arg(routeName(inputMethod), routeName(m_inputMethodInUse)));
}
