// The choices about ranking and learning: kept in the settings store, handed to the engine.
#include "rankingchoices.h"

#include "settingsstore.h"

#include <QAction>
#include <QScopedValueRollback>

namespace {
const QString optionsSection = QStringLiteral("Options");
const QString mostLikelyFirstKey = QStringLiteral("MostLikelyFirst");
const QString learnKey = QStringLiteral("Learn");
const QString matchCapitalsKey = QStringLiteral("MatchCapitals");
const QString learnNewWordsKey = QStringLiteral("LearnNewWords");
const QString pickWithNumberKeysKey = QStringLiteral("PickWithNumberKeys");
} // namespace

RankingChoices::RankingChoices(const RankingControls& controls, SettingsStore& settings,
                               std::function<void(const RankingOptions&)> apply)
    : m_controls(controls)
    , m_settings(settings)
    , m_apply(std::move(apply)) {
    for (const auto& [control, key] : stored())
        connect(control, &QAction::toggled, this, [this, control, key] { changed(control, key); });
}

void RankingChoices::restore() {
    {
        // Restoring writes nothing back: the store already holds these values.
        QScopedValueRollback<bool> restoring(m_restoring, true);
        for (const auto& [control, key] : stored()) {
            const QString value =
                m_settings.ReadSetting(settingsApplication, optionsSection, key, QString()).trimmed();
            if (value == QLatin1String("1") || value == QLatin1String("0"))
                control->setChecked(value == QLatin1String("1"));
        }
    }
    m_apply(options());
}

RankingOptions RankingChoices::options() const {
    return {m_controls.MostLikelyFirst->isChecked(), m_controls.LearnFromCompletions->isChecked(),
            m_controls.MatchCapitals->isChecked(), m_controls.LearnNewWords->isChecked(),
            m_controls.PickWithNumberKeys->isChecked()};
}

std::array<std::pair<QAction*, QString>, 5> RankingChoices::stored() const {
    return {{{m_controls.MostLikelyFirst, mostLikelyFirstKey},
             {m_controls.LearnFromCompletions, learnKey},
             {m_controls.MatchCapitals, matchCapitalsKey},
             {m_controls.LearnNewWords, learnNewWordsKey},
             {m_controls.PickWithNumberKeys, pickWithNumberKeysKey}}};
}

void RankingChoices::changed(QAction* control, const QString& key) {
    if (m_restoring)
        return;
    m_settings.WriteSetting(settingsApplication, optionsSection, key,
                            control->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    m_apply(options());
}
