// Fills the suggestion list with the stored words that begin with the word being typed.
#include "suggestionlookup.h"

#include "engine/suggestionlist.h"
#include "engine/suggestionquery.h"
#include "store/dbconnection.h"
#include "store/wordranking.h"

SuggestionLookup::SuggestionLookup(DbConnection& words)
    : m_words(words) {}

WordSchema SuggestionLookup::schema() {
    if (!m_schema && m_words.state() != 0)
        m_schema = wordSchema(m_words);
    return m_schema.value_or(WordSchema::Plain);
}

void SuggestionLookup::forgetRanking() {
    m_schema.reset();
}

std::optional<QString> SuggestionLookup::query(const QString& prefix, const EngineSettings& settings,
                                               QStringList* parameters) {
    const bool useDefaultWords = settings.Check5 != Qt::Unchecked;
    const bool useCustomWords = settings.Check4 != Qt::Unchecked;
    const WordSchema words = schema();
    // Without ranking data the statement is the written one, text and all.
    if (words == WordSchema::Plain)
        return suggestionQuery(settings.Text4, prefix, useDefaultWords, useCustomWords);
    *parameters = words == WordSchema::Folded ? foldedPrefixRange(prefix) : prefixRange(prefix);
    const RankedInputs inputs{settings.Text4, useDefaultWords, useCustomWords, words, m_numberKeys};
    if (!m_ranked || m_ranked->inputs != inputs)
        m_ranked = RankedStatement{inputs, rankedSuggestionQuery(inputs.count, inputs.defaultWords,
                                                                 inputs.customWords, inputs.schema,
                                                                 inputs.numberKeys)};
    return m_ranked->text;
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
                   : (parameters.isEmpty() ? m_words.execute(*statement)
                                           : m_words.executeBound(*statement, parameters));
    QStringList found;
    // The statement reads at most the number of words to offer.
    for (; rows && !rows->eof(); rows->moveNext()) {
        // A NULL word never matches a pattern; should one come, there is nothing to offer.
        if (std::optional<QString> word = rows->text1())
            found.append(std::move(*word));
    }
    form2.fill(std::move(found));
}
