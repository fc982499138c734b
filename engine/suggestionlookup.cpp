// Fills the pop-up with the stored words that begin with the word being typed.
#include "suggestionlookup.h"

#include "engine/suggestionpopup.h"
#include "engine/suggestionquery.h"
#include "platform/dbconnection.h"
#include "platform/wordranking.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>

namespace {
constexpr int emptyPopupHeightTwips = 1000;
constexpr int rowHeightTwips = 200;
constexpr int listBeyondPopupTwips = 200;
} // namespace

SuggestionLookup::SuggestionLookup(const EngineControls& controls, DbConnection& words)
    : m_controls(controls)
    , m_words(words) {}

bool SuggestionLookup::hasRanking() {
    if (!m_hasRanking && m_words.state() != 0)
        m_hasRanking = hasWordRanking(m_words);
    return m_hasRanking.value_or(false);
}

void SuggestionLookup::forgetRanking() {
    m_hasRanking.reset();
}

std::optional<QString> SuggestionLookup::query(const QString& prefix, QStringList* parameters) {
    const bool useDefaultWords = m_controls.Check5->checkState() != Qt::Unchecked;
    const bool useCustomWords = m_controls.Check4->checkState() != Qt::Unchecked;
    // Without ranking data the statement is the written one, text and all.
    if (!hasRanking())
        return suggestionQuery(m_controls.Text4->text(), prefix, useDefaultWords, useCustomWords);
    *parameters = prefixRange(prefix);
    return rankedSuggestionQuery(m_controls.Text4->text(), useDefaultWords, useCustomWords);
}

void SuggestionLookup::run(SuggestionPopup& form2) {
    const SuggestionPopup::FillBatch batch(form2);
    form2.clearList();
    form2.setHeightTwips(emptyPopupHeightTwips);

    QString prefix = m_controls.Text5->text();
    if (prefix.contains(QLatin1Char('\''))) {
        prefix.replace(QLatin1Char('\''), QLatin1Char(' '));
        m_controls.Text5->setText(prefix);
    }

    // A failed reopen shows as a failed statement below.
    if (m_words.state() == 0) {
        m_words.open();
        forgetRanking();
    }
    QStringList parameters;
    const std::optional<QString> statement = query(prefix, &parameters);
    if (!statement) {
        form2.hide();
        return;
    }
    const std::unique_ptr<DbResult> rows =
        hasRanking() ? m_words.executeBound(*statement, parameters) : m_words.execute(*statement);
    if (!rows || rows->eof()) {
        form2.hide();
        return;
    }

    QPointer<SuggestionPopup> alive(&form2);
    while (!rows->eof()) {
        // Other events, key events among them, run here and inside the show rule.
        QCoreApplication::processEvents();
        if (!alive)
            return;
        // A NULL word never matches a pattern; should one come, there is nothing to offer.
        if (const std::optional<QString> word = rows->text1()) {
            form2.setCurrentSuggestion(*word);
            if (!alive)
                return;
            form2.addWord(*word);
        }
        form2.selectRow(0);
        if (!alive)
            return;
        form2.setHeightTwips(form2.heightTwips() + rowHeightTwips);
        form2.setListHeightTwips(form2.heightTwips() + listBeyondPopupTwips);
        // A row that cannot be read ends the result, like its end.
        rows->moveNext();
    }
}
