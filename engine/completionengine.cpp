// The completion engine: handles every key press, keeps the word being typed, offers and
// completes words.
#include "completionengine.h"

#include "engine/keycodes.h"
#include "engine/suggestionpopup.h"
#include "platform/clipboard.h"
#include "platform/dbconnection.h"
#include "platform/keyinjector.h"
#include "platform/localenumber.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace {
const QString repairedMinimumLetters = QStringLiteral("5");
const QString repairedMinimumLengthToAdd = QStringLiteral("4");
// Every row holding the word counts, letter case ignored, as a word is identified everywhere.
const QString countUseStatement =
    QStringLiteral("update Words set Uses = coalesce(Uses, 0) + 1 where Text1 = ?1 collate nocase");
// How long counting waits while a key is being handled; it never waits for a lock.
constexpr int countRetryMs = 10;

// Writes only real changes: the key handling runs on every keystroke system-wide.
void setText(QLineEdit* box, const QString& text) {
    if (box->text() != text)
        box->setText(text);
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}
} // namespace

CompletionEngine::CompletionEngine(const EngineControls& controls, DbConnection& words, Clipboard& clipboard,
                                   KeyInjector& injector, KeyboardHook& hook, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_clipboard(clipboard)
    , m_injector(injector)
    , m_hook(hook)
    , m_lookup(controls, words)
    , m_queue([this](int keyCode, KeyDecision decide) {
        QScopedValueRollback<bool> handling(m_handlingKey, true);
        const bool capital = !m_capitalPresses.empty() && m_capitalPresses.front();
        if (!m_capitalPresses.empty())
            m_capitalPresses.pop_front();
        // While paused not even the case of a typed letter is kept.
        if (!m_paused)
            followTypedCase(keyCode, capital);
        handleKey(keyCode, decide);
    })
    , m_words(words) {
    m_countTimer.setSingleShot(true);
    connect(&m_countTimer, &QTimer::timeout, this, &CompletionEngine::countUses);
    Q_ASSERT(controls.Text9 && controls.Text8 && controls.Text4 && controls.Check1 && controls.Check4 &&
             controls.Check5 && controls.Text1 && controls.Text5 && controls.Label1);
}

CompletionEngine::~CompletionEngine() {
    if (m_popup)
        m_popup->disconnect(this);
}

void CompletionEngine::keyPressed(int keyCode, KeyDecision decide) {
    // Asked now: the hook knows it only for the press it is reporting.
    m_capitalPresses.push_back(m_hook.pressMadeCapital());
    m_queue.press(keyCode, std::move(decide));
}

void CompletionEngine::setRankingOptions(const RankingOptions& options) {
    m_options = options;
    if (m_popup)
        m_popup->setKeepAddedOrder(options.mostLikelyFirst);
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
    setText(m_controls.Text5, QString());
    m_typedCase.clear();
    if (m_popup) {
        m_popup->hide();
        m_popup->setCurrentSuggestion(QString());
        m_popup->clearList();
    }
}

SuggestionPopup& CompletionEngine::popup() {
    if (!m_popup) {
        m_popup = std::make_unique<SuggestionPopup>();
        m_popup->setKeepAddedOrder(m_options.mostLikelyFirst);
        connect(m_popup.get(), &SuggestionPopup::visibilityChanged, this, [this](bool visible) {
            // A lookup that was under way when the pause began must not bring the pop-up back.
            if (visible && m_paused) {
                m_popup->hide();
                return;
            }
            m_hook.setPopupVisible(visible);
            emit popupVisibilityChanged(visible);
        });
    }
    return *m_popup;
}

SuggestionPopup* CompletionEngine::existingPopup() const {
    return m_popup.get();
}

int CompletionEngine::minimumLetters() {
    const std::optional<double> number = parseLocaleNumber(m_controls.Text9->text());
    if (!number) {
        // Repaired to 5, not to the design value 3; this key still counts with 0.
        m_controls.Text9->setText(repairedMinimumLetters);
        return 0;
    }
    return toInt16(*number).value_or(0);
}

void CompletionEngine::keepMinimumLengthToAddNumeric() {
    if (!parseLocaleNumber(m_controls.Text8->text()))
        m_controls.Text8->setText(repairedMinimumLengthToAdd);
}

bool CompletionEngine::completionEnabled() const {
    return m_controls.Check1->checkState() == Qt::Checked;
}

void CompletionEngine::handleKey(int keyCode, const KeyDecision& decide) {
    // Not even the key display may keep what is typed into a password.
    if (m_paused) {
        decide(0);
        return;
    }
    SuggestionPopup& form2 = popup();

    const int minimum = minimumLetters();
    keepMinimumLengthToAddNumeric();
    const QString character = keyCharacter(keyCode);
    if (keyCode == KeyCode::Space)
        setText(m_controls.Text5, QString());
    setText(m_controls.Label1, character + QLatin1Char(' ') + QString::number(keyCode));
    setText(m_controls.Text1, character);

    if (keyCode != KeyCode::Up && keyCode != KeyCode::Down && keyCode != KeyCode::Shift) {
        const QString typed = m_controls.Text1->text();
        if (!typed.isEmpty()) {
            m_controls.Text5->setText(m_controls.Text5->text() + typed.back());
            if (m_controls.Text5->text().size() >= minimum && completionEnabled())
                m_lookup.run(form2);
        }
    }

    // Only a Space with a minimum of 0 or less keeps the pop-up up: it emptied the buffer.
    const bool showing =
        m_controls.Text5->text().size() >= minimum && completionEnabled() && form2.isVisible();

    // A key is swallowed before it is acted on: the hook may have let it through already (it holds a
    // key only for a bounded time), and then the key reached the application and counts as passed.
    bool decided = false;
    const auto swallow = [&decide, &decided] {
        decided = true;
        return decide(1);
    };
    if (keyCode == KeyCode::Up && form2.isVisible() && form2.selectedRow() > 0 && swallow())
        form2.selectRow(form2.selectedRow() - 1);
    if (keyCode == KeyCode::Down && form2.isVisible() && form2.selectedRow() < form2.rowCount() - 1 &&
        swallow())
        form2.selectRow(form2.selectedRow() + 1);

    if (keyCode == m_completionKeyCode && form2.isVisible() && !decided && swallow())
        completeWord(form2);

    if ((keyCode == KeyCode::Space && !showing) || keyCode == KeyCode::Enter ||
        keyCode == KeyCode::Backspace || keyCode == KeyCode::Tab) {
        setText(m_controls.Text5, QString());
        form2.setCurrentSuggestion(QString());
        form2.hide();
    }
    if (keyCode == KeyCode::Escape)
        form2.hide();

    // Gathered only for a hook that shows them: this runs for every key while the pop-up is up.
    if (form2.isVisible() && m_hook.showsSuggestions())
        publishSuggestions(form2);
    if (!decided)
        decide(0);
}

void CompletionEngine::publishSuggestions(SuggestionPopup& form2) {
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(form2.rowCount()));
    for (int row = 0; row < form2.rowCount(); ++row)
        words.push_back(form2.rowText(row).toStdString());
    m_hook.showSuggestions(words, form2.selectedRow());
}

void CompletionEngine::completeWord(SuggestionPopup& form2) {
    form2.hide();
    const QString suggestion = form2.currentSuggestion();
    const qsizetype typed = m_controls.Text5->text().size();
    const QString rest = suggestion.size() > typed ? restAsTyped(suggestion.mid(typed)) : QString();
    // An input method commits the text itself and leaves the user's clipboard alone.
    const bool committed = m_injector.commitText(rest.toStdString());
    const Clipboard::Placement placement =
        committed ? Clipboard::Placement::Failed : m_clipboard.placeForPaste(rest);
    form2.setCurrentSuggestion(QString());
    form2.hide();
    // Pasting without the rest on the clipboard would insert whatever was there before.
    if (placement != Clipboard::Placement::Failed)
        m_injector.sendShiftInsert();
    if (placement == Clipboard::Placement::NotKept)
        emit clipboardNotKept();
    else if (placement == Clipboard::Placement::Failed && !committed)
        emit completionNotPasted();
    setText(m_controls.Text5, QString());
    // Counted after the key is answered: a write has no place on the key's way.
    if (m_options.learnFromCompletions && !suggestion.isEmpty()) {
        m_usesToCount.append(suggestion);
        m_countTimer.start(0);
    }
}

void CompletionEngine::followTypedCase(int keyCode, bool capital) {
    const QString buffer = m_controls.Text5->text();
    // Changed behind this back (emptied, or written by the lookup): its case is unknown.
    if (m_typedCase.size() != buffer.size() || m_typedCase.compare(buffer, Qt::CaseInsensitive) != 0)
        m_typedCase = buffer;
    const QString character = keyCharacter(keyCode);
    if (!character.isEmpty() && keyCode != KeyCode::Up && keyCode != KeyCode::Down &&
        keyCode != KeyCode::Shift)
        m_typedCase += capital ? character.toUpper() : character;
}

QString CompletionEngine::restAsTyped(const QString& rest) const {
    if (!m_options.matchCapitals || m_typedCase.toLower() != m_controls.Text5->text())
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
    if (m_lookup.hasRanking()) {
        for (const QString& word : std::as_const(m_usesToCount))
            m_words.executeBound(countUseStatement, {word});
    }
    m_usesToCount.clear();
}
