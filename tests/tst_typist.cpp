// The keystrokes-saved typist: its counting on a tiny text worked out by hand.
#include "bench/typist.h"
#include "store/sqliteconnection.h"
#include "tools/wordsfile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestTypist : public QObject {
    Q_OBJECT
private slots:
    void countsByHand() {
        QTemporaryDir dir;
        const std::vector<WordRow> rows{{"another", {}, 35},  {"answer", {}, 35}, {"anthem", {}, 70},
                                        {"together", {}, 35}, {"tomato", {}, 50}, {"Tokyo", {}, 70},
                                        {"token", {}, 35}};
        QVERIFY(createWordsDatabase(dir.filePath("words.mdb"), rows, nullptr, WordsRanking::With));
        SqliteConnection words(dir.filePath("words.mdb"));
        QVERIFY(words.open());
        TypistSettings settings;
        settings.maxWords = 2;
        Typist typist(words, settings);

        // "Another": after "Ano" only another is offered; Tab takes it: 4 letters saved less 1 key.
        // "answer,": "ans" offers answer alone: 3 letters saved less 1 key.
        // "tom": typed through, nothing left to complete. "Tokyo!": "tok" lists token, Tokyo:
        // Down and Tab cost as much as "yo", and at "toky" Tab costs as much as "o": typed.
        // "x" is too short for a list. Blank runs count one key.
        // Characters: 7 + 1 + 6 + 1 (comma) + 1 + 3 + 1 + 5 + 1 (!) + 1 + 1 = 28.
        const TypingFigures figures = typist.type(QStringLiteral("Another  answer,\ntom Tokyo! x"));
        QCOMPARE(figures.characters, 28);
        QCOMPARE(figures.words, 5);
        QCOMPARE(figures.completions, 2);
        QCOMPARE(figures.completionKeys, 2);
        QCOMPARE(figures.keysSaved, (4 - 1) + (3 - 1));
        QCOMPARE(figures.wrongInsertions, 0);

        // "ant" offers anthem alone: "hem" saved less Tab; "tog" offers together: "ether" less Tab.
        const TypingFigures second = typist.type(QStringLiteral("anthem together"));
        QCOMPARE(second.completions, 2);
        QCOMPARE(second.keysSaved, (3 - 1) + (5 - 1));

        // With number keys, "tok" lists token, Tokyo, and 2 takes Tokyo for one key: "yo" less 1.
        settings.options.pickWithNumberKeys = true;
        Typist picking(words, settings);
        const TypingFigures third = picking.type(QStringLiteral("Tokyo"));
        QCOMPARE(third.completions, 1);
        QCOMPARE(third.keysSaved, 2 - 1);
        QCOMPARE(third.wrongInsertions, 0);
    }
};

QTEST_MAIN(TestTypist)
#include "tst_typist.moc"
