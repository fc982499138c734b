// The handlers that keep the persisted choices and the pop-up's display time.
#include "persistedoptions.h"

#include "platform/messageboxes.h"
#include "settingsstore.h"
#include "store/localenumber.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

namespace {
const QString typeSection = QStringLiteral("Type");
const QString trueText = QStringLiteral("True");
const QString falseText = QStringLiteral("False");
constexpr std::int16_t shiftKeyCode = 16;
constexpr std::int16_t tabKeyCode = 9;
// The pop-up's hide timer takes whole milliseconds up to this.
constexpr double longestDisplayMs = 65535;

QString booleanText(bool value) {
    return value ? trueText : falseText;
}

int checkBoxValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

// Radio buttons of one group cannot be cleared while the group is exclusive; a stored
// "False" for both must still clear both.
void setOptionChecked(QRadioButton* option, bool checked) {
    QButtonGroup* group = option->group();
    const bool exclusive = group ? group->exclusive() : option->autoExclusive();
    if (group)
        group->setExclusive(false);
    else
        option->setAutoExclusive(false);
    option->setChecked(checked);
    if (group)
        group->setExclusive(exclusive);
    else
        option->setAutoExclusive(exclusive);
}
} // namespace

PersistedOptions::PersistedOptions(const OptionControls& controls, SettingsStore& settings,
                                   MessageBoxes& messages,
                                   std::function<void(std::int16_t)> setCompletionKeyCode,
                                   std::function<void(int)> setHideInterval)
    : m_controls(controls)
    , m_settings(settings)
    , m_messages(messages)
    , m_setCompletionKeyCode(std::move(setCompletionKeyCode))
    , m_setHideInterval(std::move(setHideInterval)) {
    // A changed value is written whether the user or the start-up restore changed it.
    connect(m_controls.Check5, &QCheckBox::stateChanged, this,
            [this] { writeCheckBox(m_controls.Check5, QStringLiteral("C5")); });
    connect(m_controls.Check4, &QCheckBox::stateChanged, this,
            [this] { writeCheckBox(m_controls.Check4, QStringLiteral("C4")); });
    // Every selection of an option runs its click handling once, however it came: the mouse, the
    // arrow keys, an assistive tool's action (which toggles without a click), or the program.
    for (QRadioButton* option : {m_controls.Opt1, m_controls.Opt2}) {
        connect(option, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected)
                OptionsCheck();
        });
    }
    connect(m_controls.Text2, &QLineEdit::textChanged, this, &PersistedOptions::applyDisplayTime);
}

void PersistedOptions::restore() {
    restoreCheckBox(m_controls.Check5, QStringLiteral("C5"));
    restoreCheckBox(m_controls.Check4, QStringLiteral("C4"));
    restoreOption(m_controls.Opt1, m_controls.Opt2, QStringLiteral("Opt1"));
    restoreOption(m_controls.Opt2, m_controls.Opt1, QStringLiteral("Opt2"));
}

void PersistedOptions::restoreCheckBox(QCheckBox* box, const QString& key) {
    const QString stored =
        m_settings.ReadSetting(settingsApplication, typeSection, key, QString::number(checkBoxValue(box)));
    const std::optional<double> number = parseLocaleNumber(stored);
    const std::optional<std::int16_t> value = number ? toInt16(*number) : std::nullopt;
    if (!value || *value < 0 || *value > 2)
        return;
    if (*value == 2)
        box->setTristate(true);
    box->setCheckState(*value == 0 ? Qt::Unchecked : *value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void PersistedOptions::restoreOption(QRadioButton* option, QRadioButton* other, const QString& key) {
    const std::optional<bool> selected = toBoolean(
        m_settings.ReadSetting(settingsApplication, typeSection, key, booleanText(option->isChecked())));
    if (!selected)
        return;
    if (!*selected) {
        // Clearing an option runs nothing.
        setOptionChecked(option, false);
        return;
    }
    // Selecting one clears the other, then runs the selected one's click handling: through the
    // change itself, or here when it was selected already.
    setOptionChecked(other, false);
    const bool alreadySelected = option->isChecked();
    setOptionChecked(option, true);
    if (alreadySelected)
        OptionsCheck();
}

void PersistedOptions::OptionsCheck() {
    const bool shiftSelected = m_controls.Opt1->isChecked();
    m_settings.WriteSetting(settingsApplication, typeSection, QStringLiteral("Opt1"),
                            booleanText(shiftSelected));
    m_settings.WriteSetting(settingsApplication, typeSection, QStringLiteral("Opt2"),
                            booleanText(m_controls.Opt2->isChecked()));
    m_setCompletionKeyCode(completionKeyCodeFor(shiftSelected));
}

std::int16_t PersistedOptions::completionKeyCodeFor(bool shiftSelected) {
    return shiftSelected ? shiftKeyCode : tabKeyCode;
}

std::optional<bool> PersistedOptions::toBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(trueText, Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(falseText, Qt::CaseInsensitive) == 0)
        return false;
    if (const std::optional<double> number = parseLocaleNumber(text))
        return *number != 0;
    return std::nullopt;
}

void PersistedOptions::writeCheckBox(QCheckBox* box, const QString& key) {
    m_settings.WriteSetting(settingsApplication, typeSection, key, QString::number(checkBoxValue(box)));
}

void PersistedOptions::applyDisplayTime() {
    const QString text = m_controls.Text2->text();
    if (text.isEmpty())
        return;
    const std::optional<double> seconds = parseLocaleNumber(text);
    const double milliseconds = seconds ? roundHalfEven(*seconds * 1000) : -1;
    // A time the hide timer cannot take is refused like text that is no number.
    if (!seconds || milliseconds < 0 || milliseconds > longestDisplayMs) {
        m_messages.inform(applicationTitle, QStringLiteral("Value Must be Numberic"));
        return;
    }
    m_setHideInterval(static_cast<int>(milliseconds));
}
