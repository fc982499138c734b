// A typist who drives the real completion engine over a text and counts the keys completion saves.
#pragma once

#include "engine/completionengine.h"
#include "tests/fakes/fakes.h"
#include "tests/fakes/testkeyboardhook.h"

#include <memory>

class DbConnection;

struct TypingFigures {
    qint64 characters = 0;      // keys the text takes without completion: whitespace runs count one
    qint64 words = 0;           // runs of letters
    qint64 completions = 0;     // words taken from the list
    qint64 completionKeys = 0;  // Down presses and completion keys spent on them
    qint64 keysSaved = 0;       // letters not typed, less the keys spent
    qint64 wrongInsertions = 0; // completions that did not insert the rest of the word: a fault
    qint64 learnedWords = 0;    // words the engine learnt from the typing
    // What a list that always held the word at its top would save: every word taken with one
    // key as soon as the minimum of letters is typed.
    qint64 ceiling = 0;

    double savingsRate() const { return characters ? double(keysSaved) / double(characters) : 0; }
    double completedShare() const { return words ? double(completions) / double(words) : 0; }
    double ceilingRate() const { return characters ? double(ceiling) / double(characters) : 0; }
    double keysPerCompletion() const {
        return completions ? double(completionKeys) / double(completions) : 0;
    }
};

struct TypistSettings {
    int minimumLetters = 3;
    int maxWords = 15;
    RankingOptions options;
    // Words typed in a day, after which the day's bound on learned words starts afresh.
    int wordsPerDay = 3000;
    // Learning new words also counts the words of the list typed in full.
    bool countListWords = true;
};

class Typist {
public:
    Typist(DbConnection& words, const TypistSettings& settings);
    ~Typist();

    // Types the text key by key. A word is taken from the pop-up as soon as it is listed and
    // taking it costs fewer keys than typing its rest.
    TypingFigures type(const QString& text);

private:
    void press(int keyCode, bool capital = false);
    // Takes the word from the list when it is there and worth it: with its digit while number keys pick
    // rows (one key for any of the first nine), else with Down presses and the completion key.
    bool tryCompletion(const QString& rest, TypingFigures& figures);

    FakeClipboard m_clipboard;
    RecordingKeyInjector m_injector;
    TestKeyboardHook m_hook;
    std::unique_ptr<CompletionEngine> m_engine;
    int m_minimumLetters;
    int m_wordsPerDay;
    qint64 m_learnedWords = 0;
    bool m_numberKeys;
};
