// Fills the suggestion list with the stored words that begin with the word being typed.
#pragma once

#include "engine/enginesettings.h"
#include "store/wordranking.h"

#include <QStringList>
#include <optional>

class DbConnection;
class SuggestionList;

class SuggestionLookup {
public:
    explicit SuggestionLookup(DbConnection& words);

    // Runs one lookup for the word buffer (an apostrophe in it becomes a blank, there too) and
    // gives the list the words found in one step, never yielding to the event loop. Offers
    // nothing, hiding the list, when no word matches, the word count is no whole number or the
    // database cannot answer.
    void run(QString& wordBuffer, const EngineSettings& settings, SuggestionList& form2);

    // What the database offers the lookup; asked once, and again after a reopen or forget, or
    // while it cannot be asked (Plain meanwhile).
    WordSchema schema();
    // The database may have changed its tables: ask again before the next lookup.
    void forgetRanking();
    // Whether rows are picked with number keys, which lists the commonest words shorter first.
    void setNumberKeys(bool numberKeys) { m_numberKeys = numberKeys; }

private:
    std::optional<QString> query(const QString& prefix, const EngineSettings& settings, QStringList* parameters);

    DbConnection& m_words;
    std::optional<WordSchema> m_schema;
    bool m_numberKeys = false;
    // What the ranked statement's text depends on: the settings and the schema, never the key.
    struct RankedInputs {
        QString count;
        bool defaultWords;
        bool customWords;
        WordSchema schema;
        bool numberKeys;
        bool operator==(const RankedInputs&) const = default;
    };
    // Made once per inputs (and naming its prepared statement in the connection's cache).
    struct RankedStatement {
        RankedInputs inputs;
        std::optional<QString> text;
    };
    std::optional<RankedStatement> m_ranked;
};
