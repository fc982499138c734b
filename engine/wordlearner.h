// Learns the words the user types in full that the word list lacks: counted in memory only, and
// written as custom words once typed often enough, a few a day at most.
#pragma once

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class DbConnection;

class WordLearner : public QObject {
    Q_OBJECT
public:
    // A word typed this often in full qualifies.
    static constexpr int typingsToLearn = 3;
    // More would let a day of unusual typing (codes, another language) flood the list unasked.
    static constexpr int wordsPerDay = 20;
    // Words counted at most; the one typed longest ago goes first.
    static constexpr int wordsCounted = 1000;

    // keyBeingHandled says whether a key is being handled right now: the database is asked only
    // when none is. The connection must outlive the learner.
    WordLearner(DbConnection& words, std::function<bool()> keyBeingHandled);

    // A press the engine handled that completed nothing, with the text it typed (empty when it typed
    // none); minimumLength is "Minum Length word to Add".
    void typed(int keyCode, const QString& text, double minimumLength);
    // A word was completed: what follows it is not typed in full.
    void completed();
    // Forgets every count, the word being typed and the words not yet written.
    void forget();
    // The day and how many words were learnt on it, as kept between runs.
    void setLearnedOn(QDate day, int count);
    // Whether a word of the list typed in full as often counts its typings as uses, as completing
    // it would (on unless switched off, which only the keystrokes benchmark does to compare).
    void setCountListWords(bool count) { m_countListWords = count; }

signals:
    // A word was written as a learned word: the day's count, to be kept between runs.
    void wordLearned(QDate day, int count);

private:
    enum class Word {
        Unknown, // not known to begin at a word start, or broken by a key that is no letter
        Open,    // letters since a word start
        Closed,  // letters, then signs ("word,"): only a word end may follow
    };
    struct Counted {
        QString written; // as typed; in small letters once typed in two ways
        int typings = 0;
        qint64 lastTyped = 0;
        bool listed = false; // the list holds it, or it was learnt
        int usesToCount = 0; // typings of a listed word not yet counted as uses
    };
    void wordEnded(double minimumLength);
    void writeWords();
    bool dayFull();

    DbConnection& m_words;
    std::function<bool()> m_keyBeingHandled;
    Word m_word = Word::Unknown;
    QString m_typed;
    int m_letters = 0;
    QHash<QString, Counted> m_counted; // by folded word
    qint64 m_typings = 0;
    QStringList m_qualified; // written off the key path
    QTimer m_writeTimer;
    QDate m_day;
    int m_learnedToday = 0;
    bool m_countListWords = true;
};
