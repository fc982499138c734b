// Fills the pop-up with the stored words that begin with the word being typed.
#include "suggestionlookup.h"

#include "engine/suggestionpopup.h"
#include "engine/suggestionquery.h"
#include "platform/dbconnection.h"

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

void SuggestionLookup::run(SuggestionPopup& form2) {
    const SuggestionPopup::FillBatch batch(form2);
    form2.clearList();
    form2.setHeightTwips(emptyPopupHeightTwips);

    QString prefix = m_controls.Text5->text();
    if (prefix.contains(QLatin1Char('\''))) {
        prefix.replace(QLatin1Char('\''), QLatin1Char(' '));
        m_controls.Text5->setText(prefix);
    }

    const std::optional<QString> query =
        suggestionQuery(m_controls.Text4->text(), prefix, m_controls.Check5->checkState() != Qt::Unchecked,
                        m_controls.Check4->checkState() != Qt::Unchecked);
    if (!query) {
        form2.hide();
        return;
    }
    // A failed reopen shows as a failed statement below.
    if (m_words.state() == 0)
        m_words.open();
    const std::unique_ptr<DbResult> rows = m_words.execute(*query);
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
