// Fills the suggestion list with the stored words that begin with the word being typed.
#include "suggestionlookup.h"

#include "engine/suggestionlist.h"
#include "engine/suggestionquery.h"
#include "store/dbconnection.h"
#include "store/wordranking.h"

SuggestionLookup::SuggestionLookup(DbConnection& words)
    : m_words(words) {}

bool SuggestionLookup::hasRanking() {
    if (!m_hasRanking && m_words.state() != 0)
        m_hasRanking = hasWordRanking(m_words);
    return m_hasRanking.value_or(false);
}

void SuggestionLookup::forgetRanking() {
    m_hasRanking.reset();
}

std::optional<QString> SuggestionLookup::query(const QString& prefix, const EngineSettings& settings,
                                               QStringList* parameters) {
    const bool useDefaultWords = settings.Check5 != Qt::Unchecked;
    const bool useCustomWords = settings.Check4 != Qt::Unchecked;
    // Without ranking data the statement is the written one, text and all.
    if (!hasRanking())
        return suggestionQuery(settings.Text4, prefix, useDefaultWords, useCustomWords);
    *parameters = prefixRange(prefix);
    return rankedSuggestionQuery(settings.Text4, useDefaultWords, useCustomWords);
}

void SuggestionLookup::run(QString& wordBuffer, const EngineSettings& settings, SuggestionList& form2) {
    wordBuffer.replace(QLatin1Char('\''), QLatin1Char(' '));

    // A failed reopen shows as a failed statement below.
    if (m_words.state() == 0) {
        m_words.open();
        forgetRanking();
    }
    QStringList parameters;
    const std::optional<QString> statement = query(wordBuffer, settings, &parameters);
    const std::unique_ptr<DbResult> rows =
        !statement ? nullptr
                   : (hasRanking() ? m_words.executeBound(*statement, parameters) : m_words.execute(*statement));
    QStringList found;
    // The statement reads at most the number of words to offer.
    for (; rows && !rows->eof(); rows->moveNext()) {
        // A NULL word never matches a pattern; should one come, there is nothing to offer.
        if (std::optional<QString> word = rows->text1())
            found.append(std::move(*word));
    }
    form2.fill(std::move(found));
}
