// Fills the pop-up with the stored words that begin with the word being typed.
#pragma once

#include "engine/enginecontrols.h"

#include <QStringList>
#include <optional>

class DbConnection;
class SuggestionPopup;

class SuggestionLookup {
public:
    SuggestionLookup(const EngineControls& controls, DbConnection& words);

    // Runs one lookup for the word buffer. Yields to the event loop once per row found, so
    // other events (and the pop-up's own rules) run in between; the rows read are this
    // lookup's own. Offers nothing, hiding the pop-up, when no word matches, the word count
    // is no whole number or the database cannot answer.
    void run(SuggestionPopup& form2);

    // Whether the database carries ranking data; asked once, and again after a reopen or forget.
    bool hasRanking();
    // The database may have changed its tables: ask again before the next lookup.
    void forgetRanking();

private:
    std::optional<QString> query(const QString& prefix, QStringList* parameters);

    EngineControls m_controls;
    DbConnection& m_words;
    std::optional<bool> m_hasRanking;
};
