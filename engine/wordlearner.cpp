// Learns the words the user types in full that the word list lacks.
#include "wordlearner.h"

#include "platform/keycodes.h"
#include "store/dbconnection.h"
#include "store/wordranking.h"

#include <algorithm>
#include <utility>

namespace {
const QString listedStatement = QStringLiteral("select Text1 from Words where Folded = ?1 limit 1");
// Its typings count as uses, so that "Most likely first" offers it among the words completed.
const QString learnStatement =
    QStringLiteral("insert into Words (Text1, Type1, Folded, Uses, Learned) select ?1, '1', ?2, ?3, 1 "
                   "where not exists (select 1 from Words where Folded = ?2)");
const QString countUsesStatement =
    QStringLiteral("update Words set Uses = coalesce(Uses, 0) + ?2 where Folded = ?1");
constexpr int longestWord = 40;
// How long writing waits while a key is being handled; it never waits for a lock.
constexpr int writeRetryMs = 10;

enum class Press { Letter, WordEnd, Sign, Nothing, Other };

// What a press did to the text: a letter, a word end, a sign that may close a word ("word,"), a
// key that leaves the text alone (Shift, AltGr, Caps Lock, a dead key), or anything else: a digit,
// Backspace, a caret move, a shortcut.
Press pressKind(int keyCode, const QString& text) {
    if (keyCode == KeyCode::Space || keyCode == KeyCode::Enter || keyCode == KeyCode::Tab)
        return Press::WordEnd;
    if (isTypedLetter(text))
        return Press::Letter;
    // A sign key that typed nothing is a dead key, whose letter comes with the next press; any other
    // key that typed nothing moves, deletes, or is a shortcut (Ctrl+S).
    if (text.isEmpty()) {
        return keyCode == KeyCode::Shift || keyCode == KeyCode::Alt || keyCode == KeyCode::CapsLock ||
                       keyCode == KeyCode::Unknown || KeyCode::isSignKey(keyCode)
                   ? Press::Nothing
                   : Press::Other;
    }
    const bool printable = std::all_of(text.cbegin(), text.cend(),
                                       [](QChar c) { return c.isPrint() && !c.isNumber() && !c.isSpace(); });
    return printable ? Press::Sign : Press::Other;
}
} // namespace

WordLearner::WordLearner(DbConnection& words, std::function<bool()> keyBeingHandled)
    : m_words(words)
    , m_keyBeingHandled(std::move(keyBeingHandled)) {
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &WordLearner::writeWords);
}

void WordLearner::typed(int keyCode, const QString& text, double minimumLength) {
    switch (pressKind(keyCode, text)) {
    case Press::WordEnd:
        if (m_word != Word::Unknown && m_letters > 0)
            wordEnded(minimumLength);
        m_word = Word::Open;
        m_typed.clear();
        m_letters = 0;
        return;
    case Press::Letter:
        // "abc1def" reads "abcdef" in the word buffer, but no such word was typed; nor is a run of
        // letters longer than any word (a held key repeating) one.
        if (m_word != Word::Open || m_letters >= longestWord) {
            m_word = Word::Unknown;
            return;
        }
        m_typed += text;
        ++m_letters;
        return;
    case Press::Sign:
        m_word = m_word != Word::Unknown && m_letters > 0 ? Word::Closed : Word::Unknown;
        return;
    case Press::Nothing:
        return;
    case Press::Other:
        m_word = Word::Unknown;
        return;
    }
}

void WordLearner::completed() {
    m_word = Word::Unknown;
}

void WordLearner::forget() {
    m_word = Word::Unknown;
    m_typed.clear();
    m_letters = 0;
    m_counted.clear();
    m_qualified.clear();
}

void WordLearner::setLearnedOn(QDate day, int count) {
    m_day = day;
    m_learnedToday = count;
}

bool WordLearner::dayFull() {
    const QDate today = QDate::currentDate();
    if (m_day != today) {
        m_day = today;
        m_learnedToday = 0;
    }
    return m_learnedToday >= wordsPerDay;
}

void WordLearner::wordEnded(double minimumLength) {
    if (double(m_letters) < minimumLength)
        return;
    const QString key = foldedWord(m_typed);
    auto found = m_counted.find(key);
    if (found == m_counted.end()) {
        if (m_counted.size() >= wordsCounted) {
            const auto oldest =
                std::min_element(m_counted.begin(), m_counted.end(), [](const Counted& a, const Counted& b) {
                    return a.lastTyped < b.lastTyped;
                });
            m_counted.erase(oldest);
        }
        found = m_counted.insert(key, {m_typed, 0, 0, false});
    }
    Counted& word = *found;
    word.lastTyped = ++m_typings;
    if (word.written != m_typed)
        word.written = word.written.toLower();
    ++word.typings;
    if (word.listed) {
        if (!m_countListWords)
            return;
        ++word.usesToCount;
    } else if (word.typings < typingsToLearn) {
        return;
    }
    if (!m_qualified.contains(key))
        m_qualified.append(key);
    m_writeTimer.start(0);
}

void WordLearner::writeWords() {
    if (m_keyBeingHandled()) {
        m_writeTimer.start(writeRetryMs);
        return;
    }
    // A database that cannot be asked or written (closed, locked, read-only, without the columns)
    // learns nothing and says nothing; the word keeps its count and may qualify again.
    const QStringList qualified = std::exchange(m_qualified, {});
    for (const QString& key : qualified) {
        const auto found = m_counted.find(key);
        if (found == m_counted.end() || m_words.state() == 0)
            continue;
        Counted& word = *found;
        if (!word.listed) {
            const std::unique_ptr<DbResult> listed = m_words.executeBound(listedStatement, {key});
            if (!listed)
                continue;
            if (!listed->eof()) {
                word.listed = true;
                word.usesToCount = m_countListWords ? word.typings : 0;
            } else {
                // Beyond the day's bound the count goes on, and a typing on another day learns it.
                if (dayFull() ||
                    !m_words.executeBound(learnStatement, {word.written, key, QString::number(word.typings)}))
                    continue;
                word.listed = true;
                emit wordLearned(m_day, ++m_learnedToday);
            }
        }
        if (word.usesToCount > 0)
            m_words.executeBound(countUsesStatement,
                                 {key, QString::number(std::exchange(word.usesToCount, 0))});
    }
}
