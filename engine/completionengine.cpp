// The completion engine: handles every key press, keeps the word being typed, offers and
// completes words.
#include "completionengine.h"

#include "platform/clipboard.h"
#include "platform/keycodes.h"
#include "platform/keyinjector.h"
#include "store/dbconnection.h"
#include "store/localenumber.h"

#include <QScopedValueRollback>

namespace {
const QString repairedMinimumLetters = QStringLiteral("5");
const QString repairedMinimumLengthToAdd = QStringLiteral("4");
// Every row holding the word counts, letter case ignored, as a word is identified everywhere: by
// its folded key where the table has one.
const QString countUseStatement =
    QStringLiteral("update Words set Uses = coalesce(Uses, 0) + 1 where Text1 = ?1 collate nocase");
const QString countFoldedUseStatement =
    QStringLiteral("update Words set Uses = coalesce(Uses, 0) + 1 where Folded = ?1");
// How long counting waits while a key is being handled; it never waits for a lock.
constexpr int countRetryMs = 10;

// A minimum of letters beyond 16 bits counts 0.
std::optional<int> minimumLettersOf(const QString& text) {
    const std::optional<double> number = parseLocaleNumber(text);
    if (!number)
        return std::nullopt;
    return toInt16(*number).value_or(0);
}
} // namespace

CompletionEngine::CompletionEngine(DbConnection& words, Clipboard& clipboard, KeyInjector& injector,
                                   KeyboardHook& hook, QObject* parent)
    : QObject(parent)
    , m_minimumLetters(minimumLettersOf(m_settings.Text9))
    , m_lengthToAdd(parseLocaleNumber(m_settings.Text8))
    , m_clipboard(clipboard)
    , m_injector(injector)
    , m_hook(hook)
    , m_lookup(words)
    , m_queue([this](int keyCode, KeyDecision decide) {
        QScopedValueRollback<bool> handling(m_handlingKey, true);
        QString typed;
        if (!m_pressTexts.empty()) {
            typed = std::move(m_pressTexts.front());
            m_pressTexts.pop_front();
        }
        // Worked out once per key; keys that type no letter and lie outside the character range
        // (arrows, Shift, digits) add none.
        const QString character = wordCharacter(keyCode, typed);
        // A typed letter tells its own case, in any script; a key that typed none (a shortcut) is small.
        const bool capital = isTypedLetter(typed) && typed != character;
        // While paused not even the case of a typed letter is kept.
        if (!m_paused)
            followTypedCase(character, capital);
        // Only a press that typed its digit picks: not AZERTY's "&" or "é" on the same key, not Shift's "!",
        // and not one that typed nothing, such as Ctrl+1 (the application's shortcut) or a key that goes
        // on with a compose sequence.
        const bool typedItsDigit = typed.size() == 1 && typed.front().unicode() == keyCode;
        const int pickedRow =
            m_options.pickWithNumberKeys && typedItsDigit ? KeyCode::pickedRow(keyCode) : -1;
        const bool completed = handleKey(keyCode, character, pickedRow, decide);
        if (m_paused || m_withheld || !m_options.learnNewWords || !completionEnabled())
            return;
        if (completed)
            m_learner.completed();
        else
            m_learner.typed(keyCode, typed, m_lengthToAdd.value_or(0));
    })
    , m_words(words)
    , m_learner(words, [this] { return m_handlingKey; }) {
    m_countTimer.setSingleShot(true);
    connect(&m_countTimer, &QTimer::timeout, this, &CompletionEngine::countUses);
    // Connected before any view: the hook must catch the list's keys before the user sees it.
    connect(&m_suggestions, &SuggestionList::shownChanged, this, [this](bool shown) {
        m_hook.setPopupVisible(shown);
        emit popupVisibilityChanged(shown);
    });
    connect(&m_suggestions, &SuggestionList::suggestionsChanged, this, &CompletionEngine::publishSuggestions);
}

CompletionEngine::~CompletionEngine() = default;

void CompletionEngine::setSettings(const EngineSettings& settings) {
    if (settings.Text9 != m_settings.Text9)
        m_minimumLetters = minimumLettersOf(settings.Text9);
    if (settings.Text8 != m_settings.Text8)
        m_lengthToAdd = parseLocaleNumber(settings.Text8);
    // Switched off, completion watches no words to learn.
    if (settings.Check1 != Qt::Checked)
        m_learner.forget();
    m_settings = settings;
}

void CompletionEngine::keyPressed(int keyCode, KeyDecision decide) {
    // Asked now: the hook knows them only for the press it is reporting.
    m_pressTexts.push_back(QString::fromStdString(m_hook.pressText()));
    m_queue.press(keyCode, std::move(decide));
}

void CompletionEngine::setRankingOptions(const RankingOptions& options) {
    if (!options.learnNewWords)
        m_learner.forget();
    m_options = options;
    m_suggestions.setKeepFoundOrder(options.mostLikelyFirst);
    m_hook.setNumberKeys(options.pickWithNumberKeys);
    m_lookup.setNumberKeys(options.pickWithNumberKeys);
}

RankingOptions CompletionEngine::rankingOptions() const {
    return m_options;
}

void CompletionEngine::wordDatabaseChanged() {
    m_lookup.forgetRanking();
}

void CompletionEngine::setCompletionKeyCode(std::int16_t code) {
    m_completionKeyCode = code;
    m_hook.setCompletionKey(code);
}

std::int16_t CompletionEngine::completionKeyCode() const {
    return m_completionKeyCode;
}

void CompletionEngine::setPaused(bool paused) {
    m_paused = paused;
    if (!paused)
        return;
    forgetWord();
    m_learner.forget();
}

void CompletionEngine::setWithheld(bool withheld) {
    if (withheld == m_withheld)
        return;
    m_withheld = withheld;
    // Another field: its word starts afresh. Once it proves plain, the word typed meanwhile is looked
    // up as its last key would have; a minimum not read yet (or no number) waits for the next key.
    if (withheld)
        forgetWord();
    else if (!m_paused && m_minimumLetters)
        offerWord(*m_minimumLetters);
}

void CompletionEngine::offerWord(int minimum) {
    if (m_typing.Text5.size() >= minimum && completionEnabled())
        m_lookup.run(m_typing.Text5, m_settings, m_suggestions);
}

void CompletionEngine::forgetWord() {
    m_typing.Text5.clear();
    m_typedCase.clear();
    m_suggestions.hide();
    m_suggestions.setCurrentSuggestion(QString());
}

int CompletionEngine::minimumLetters() {
    if (!m_minimumLetters) {
        // Repaired to 5, not to the design value 3; this key still counts with 0.
        m_settings.Text9 = repairedMinimumLetters;
        m_minimumLetters = 5;
        emit settingsRepaired();
        return 0;
    }
    return *m_minimumLetters;
}

bool CompletionEngine::completionEnabled() const {
    return m_settings.Check1 == Qt::Checked;
}

bool CompletionEngine::handleKey(int keyCode, const QString& character, int pickedRow,
                                 const KeyDecision& decide) {
    // Not even the key display may keep what is typed into a password.
    if (m_paused) {
        decide(0);
        return false;
    }
    SuggestionList& form2 = m_suggestions;

    const int minimum = minimumLetters();
    if (!m_lengthToAdd) {
        m_settings.Text8 = repairedMinimumLengthToAdd;
        m_lengthToAdd = parseLocaleNumber(repairedMinimumLengthToAdd);
        emit settingsRepaired();
    }
    QString& buffer = m_typing.Text5;
    // Enter, Backspace and Tab end the word; Space does too, unless it keeps a pop-up up (below).
    const bool endsWord =
        keyCode == KeyCode::Enter || keyCode == KeyCode::Backspace || keyCode == KeyCode::Tab;
    if (m_withheld) {
        if (endsWord || keyCode == KeyCode::Space)
            buffer.clear();
        else
            buffer += character;
        decide(0);
        return false;
    }
    if (keyCode == KeyCode::Space)
        buffer.clear();
    m_typing.Label1 = character + QLatin1Char(' ') + QString::number(keyCode);
    m_typing.Text1 = character;

    if (!character.isEmpty()) {
        buffer += character;
        offerWord(minimum);
    }

    // Only a Space with a minimum of 0 or less keeps the pop-up up: it emptied the buffer.
    const bool showing = buffer.size() >= minimum && completionEnabled() && form2.isShown();

    // A key is swallowed before it is acted on: the hook may have let it through already (it holds a
    // key only for a bounded time), and then the key reached the application and counts as passed.
    bool decided = false;
    bool completed = false;
    const auto swallow = [&decide, &decided] {
        decided = true;
        return decide(1);
    };
    if (keyCode == KeyCode::Up && form2.isShown() && form2.selectedRow() > 0 && swallow())
        form2.selectRow(form2.selectedRow() - 1);
    if (keyCode == KeyCode::Down && form2.isShown() && form2.selectedRow() < form2.rowCount() - 1 && swallow())
        form2.selectRow(form2.selectedRow() + 1);

    // As Tab would complete with that row selected; a digit beyond the list is typed as it is.
    if (pickedRow >= 0 && pickedRow < form2.rowCount() && form2.isShown() && swallow()) {
        form2.selectRow(pickedRow);
        completeWord();
        completed = true;
    }

    if (keyCode == m_completionKeyCode && form2.isShown() && !decided && swallow()) {
        completeWord();
        completed = true;
    }

    if ((keyCode == KeyCode::Space && !showing) || endsWord) {
        buffer.clear();
        form2.setCurrentSuggestion(QString());
        form2.hide();
    }
    if (keyCode == KeyCode::Escape)
        form2.hide();

    if (!decided)
        decide(0);
    return completed;
}

void CompletionEngine::publishSuggestions() {
    // Gathered only for a hook that shows them.
    if (!m_suggestions.isShown() || !m_hook.showsSuggestions())
        return;
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(m_suggestions.rowCount()));
    for (const QString& word : m_suggestions.words())
        words.push_back(word.toStdString());
    m_hook.showSuggestions(words, m_suggestions.selectedRow());
}

void CompletionEngine::completeWord() {
    m_suggestions.hide();
    const QString suggestion = m_suggestions.currentSuggestion();
    const qsizetype typed = m_typing.Text5.size();
    const QString rest = suggestion.size() > typed ? restAsTyped(suggestion.mid(typed)) : QString();
    // An input method commits the text itself and leaves the user's clipboard alone.
    const bool committed = m_injector.commitText(rest.toStdString());
    const Clipboard::Placement placement =
        committed ? Clipboard::Placement::Failed : m_clipboard.placeForPaste(rest);
    m_suggestions.setCurrentSuggestion(QString());
    // Pasting without the rest on the clipboard would insert whatever was there before.
    if (placement != Clipboard::Placement::Failed)
        m_injector.sendShiftInsert();
    if (placement == Clipboard::Placement::NotKept)
        emit clipboardNotKept();
    else if (placement == Clipboard::Placement::Failed && !committed)
        emit completionNotPasted();
    m_typing.Text5.clear();
    // Counted after the key is answered: a write has no place on the key's way.
    if (m_options.learnFromCompletions && !suggestion.isEmpty()) {
        m_usesToCount.append(suggestion);
        m_countTimer.start(0);
    }
}

void CompletionEngine::followTypedCase(const QString& character, bool capital) {
    const QString& buffer = m_typing.Text5;
    // Changed behind this back (emptied, or written by the lookup): its case is unknown.
    if (m_typedCase.size() != buffer.size() || m_typedCase.compare(buffer, Qt::CaseInsensitive) != 0)
        m_typedCase = buffer;
    if (!character.isEmpty())
        m_typedCase += capital ? character.toUpper() : character;
}

QString CompletionEngine::restAsTyped(const QString& rest) const {
    if (!m_options.matchCapitals || m_typedCase.toLower() != m_typing.Text5)
        return rest;
    // One capital starts a sentence or a name ("Zeb"); two or more and none small mean "ZEB".
    int capitals = 0;
    for (const QChar c : m_typedCase) {
        if (c.isLower())
            return rest;
        capitals += c.isUpper() ? 1 : 0;
    }
    return capitals >= 2 ? rest.toUpper() : rest;
}

void CompletionEngine::countUses() {
    if (m_handlingKey) {
        m_countTimer.start(countRetryMs);
        return;
    }
    // Without the columns, or with a database that cannot be written or is locked right now,
    // nothing is learnt and nothing is said: the completion itself has been made.
    const WordSchema schema = m_lookup.schema();
    for (const QString& word : std::as_const(m_usesToCount)) {
        if (schema == WordSchema::Folded)
            m_words.executeBound(countFoldedUseStatement, {foldedWord(word)});
        else if (schema == WordSchema::Ranked)
            m_words.executeBound(countUseStatement, {word});
    }
    m_usesToCount.clear();
}
