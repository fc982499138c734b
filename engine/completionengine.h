// The completion engine: handles every key press, keeps the word being typed, offers and
// completes words.
#pragma once

#include "engine/enginesettings.h"
#include "engine/keyeventqueue.h"
#include "engine/suggestionlist.h"
#include "engine/suggestionlookup.h"
#include "engine/wordlearner.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>

class Clipboard;
class DbConnection;
class KeyInjector;

// The user's choices about what is offered and learnt, with their design values.
struct RankingOptions {
    bool mostLikelyFirst = false; // the pop-up lists the best word first, not alphabetically
    bool learnFromCompletions = true;
    bool matchCapitals = true; // an all-capital prefix is completed in capitals
    bool learnNewWords = false; // words typed in full that the list lacks become custom words
    bool pickWithNumberKeys = false; // the digits 1 to 9 complete with that row of the pop-up
};

class CompletionEngine : public QObject {
    Q_OBJECT
public:
    // The references must outlive the engine. The settings start at their design values.
    CompletionEngine(DbConnection& words, Clipboard& clipboard, KeyInjector& injector, KeyboardHook& hook,
                     QObject* parent = nullptr);
    ~CompletionEngine() override;

    // The hook's key handler. A press that arrives while another is being handled is handled
    // right after it; its decision is made then.
    void keyPressed(int keyCode, KeyDecision decide);

    // The key code that completes a word: 16 (Shift) or 9 (Tab); 0 until first set.
    void setCompletionKeyCode(std::int16_t code);
    std::int16_t completionKeyCode() const;

    // Taken as they are; a setting that is no number is repaired on the next key, as it is read.
    void setSettings(const EngineSettings& settings);
    const EngineSettings& settings() const { return m_settings; }
    // The word buffer, the last key and its display.
    const TypingState& typing() const { return m_typing; }

    void setRankingOptions(const RankingOptions& options);
    RankingOptions rankingOptions() const;
    // The database was opened, changed its tables or forgot its counts: ask it again.
    void wordDatabaseChanged();
    // While paused every key goes through untouched and nothing of it is kept or shown: the
    // word buffer is emptied and the pop-up hidden at once. Read on every key, so only a flag.
    // A pause forgets the words counted for learning too.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // While a freshly focused field is asked whether it is a password field, its keys go through
    // untouched and nothing is shown or learnt, but the word typed is kept: once the field proves
    // plain the pop-up offers it at once, so the first word after a focus change is not lost. A
    // pause that follows empties it.
    void setWithheld(bool withheld);

    // What the pop-up Form2 offers; views follow it.
    SuggestionList& suggestions() { return m_suggestions; }
    const SuggestionList& suggestions() const { return m_suggestions; }
    // Learns the words typed in full while "learnNewWords" is on, completion runs and nothing pauses it.
    WordLearner& learner() { return m_learner; }

signals:
    // A key found a setting that is no number and wrote its repaired text into settings().
    void settingsRepaired();
    // Form2 was shown or hidden.
    void popupVisibilityChanged(bool visible);
    // A completion was pasted, but what the user had on the clipboard could not be kept.
    void clipboardNotKept();
    // A completion key was swallowed, but the rest of the word could not be put on the clipboard.
    void completionNotPasted();

private:
    // pickedRow: the row a digit picks (KeyCode::pickedRow), -1 for a press that picks none. Whether
    // the press completed a word.
    bool handleKey(int keyCode, const QString& character, int pickedRow, const KeyDecision& decide);
    int minimumLetters();
    bool completionEnabled() const;
    void completeWord();
    // The rest to paste: in capitals when the user typed the word so far in capitals.
    QString restAsTyped(const QString& rest) const;
    // Empties the word buffer and hides the pop-up.
    void forgetWord();
    // Looks up the word buffer once it holds the minimum of letters and completion is on.
    void offerWord(int minimum);
    void followTypedCase(const QString& character, bool capital);
    void countUses();
    void publishSuggestions();

    EngineSettings m_settings;
    // Text9 and Text8 as numbers, worked out when pushed rather than on every key.
    std::optional<int> m_minimumLetters;
    std::optional<double> m_lengthToAdd;
    TypingState m_typing;
    SuggestionList m_suggestions;
    Clipboard& m_clipboard;
    KeyInjector& m_injector;
    KeyboardHook& m_hook;
    SuggestionLookup m_lookup;
    KeyEventQueue m_queue;
    std::int16_t m_completionKeyCode = 0;
    DbConnection& m_words;
    RankingOptions m_options;
    // What each press waiting in the queue typed, in the queue's order.
    std::deque<QString> m_pressTexts;
    // The word buffer as typed, capitals kept; only trusted while it lowers to the buffer.
    QString m_typedCase;
    bool m_handlingKey = false;
    // Completed words not counted yet: counting writes, which waits until no key is handled.
    QStringList m_usesToCount;
    QTimer m_countTimer;
    bool m_paused = false;
    bool m_withheld = false;
    WordLearner m_learner;
};
