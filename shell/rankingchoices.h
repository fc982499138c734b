// The choices about ranking and learning: kept in the settings store, handed to the engine.
#pragma once

#include "engine/completionengine.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <utility>

class QAction;
class SettingsStore;

struct RankingControls {
    QAction* MostLikelyFirst;      // stored as "Options"/"MostLikelyFirst"
    QAction* LearnFromCompletions; // stored as "Options"/"Learn"
    QAction* MatchCapitals;        // stored as "Options"/"MatchCapitals"
    QAction* LearnNewWords;        // stored as "Options"/"LearnNewWords"
    QAction* PickWithNumberKeys;   // stored as "Options"/"PickWithNumberKeys"
};

class RankingChoices : public QObject {
    Q_OBJECT
public:
    // Each change of a control is stored ("1" or "0") and handed to apply.
    RankingChoices(const RankingControls& controls, SettingsStore& settings,
                   std::function<void(const RankingOptions&)> apply);

    // Sets the controls from the store, keeping a control's state where nothing valid is
    // stored, and hands the result to apply.
    void restore();
    RankingOptions options() const;

private:
    void changed(QAction* control, const QString& key);
    // Each control with its key in the "Options" section.
    std::array<std::pair<QAction*, QString>, 5> stored() const;

    RankingControls m_controls;
    SettingsStore& m_settings;
    std::function<void(const RankingOptions&)> m_apply;
    bool m_restoring = false;
};
