// Ranked suggestions end to end through the engine: commonness, learning, custom words, the
// database without ranking data, databases that cannot be written, and the capitals rule.
#include "engine/suggestionquery.h"
#include "enginerig.h"
#include "store/wordranking.h"

#include <QElapsedTimer>
#include <QtTest>
#include <sqlite3.h>

namespace {
const std::optional<QString> custom = QStringLiteral("1");

struct Rig : EngineRig {
    explicit Rig(const std::vector<WordRow>& rows, WordsRanking ranking = WordsRanking::With)
        : EngineRig(rows, ranking) {
        set([](EngineSettings& settings) { settings.Text4 = "2"; });
    }
    // Types the letters (capitals as with Shift held) and returns the words offered, as listed.
    QStringList type(const QString& letters) {
        hook.press(Space);
        for (const QChar c : letters) {
            hook.setCapitals(c.isUpper());
            hook.press(c.toUpper().unicode());
        }
        hook.setCapitals(false);
        return form2().words();
    }
    // Takes the row of the list; returns what was pasted. Counting runs once the key is answered.
    QString complete(int row = 0) {
        for (int i = 0; i < row; ++i)
            hook.press(Down);
        hook.press(Tab);
        QCoreApplication::processEvents();
        return clipboard.text;
    }
    QString uses(const QString& word) {
        SqliteConnection reader(path());
        reader.open();
        const auto result = reader.execute(
            "select ifnull(Uses, 'null') from Words where Text1 = " + sqlLiteral(word) + " limit 1");
        return result && !result->eof() ? result->text1().value_or("?") : "<none>";
    }
};

// Alphabetically the rare words come first, so index order would offer only them.
const std::vector<WordRow> conWords{{"conakry", {}, 70},  {"concatenate", {}, 70}, {"concave", {}, 50},
                                    {"consider", {}, 35}, {"control", {}, 35},     {"Conway", {}, 70}};
} // namespace

class TestRanking : public QObject {
    Q_OBJECT
private slots:
    void rankedLookupReadsIndexRangesOnly_data() {
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("useCustom");
        QTest::addColumn<int>("kindsRead");
        QTest::newRow("every kind") << true << true << 3;
        QTest::newRow("no default words") << false << true << 2;
        QTest::newRow("no custom words") << true << false << 2;
    }
    void rankedLookupReadsIndexRangesOnly() {
        QFETCH(bool, useDefault);
        QFETCH(bool, useCustom);
        Rig rig(conWords);
        const QByteArray plan =
            "EXPLAIN QUERY PLAN " + rankedSuggestionQuery("15", useDefault, useCustom).value().toUtf8();
        sqlite3* database = nullptr;
        QCOMPARE(sqlite3_open_v2(rig.path().toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt* explain = nullptr;
        QCOMPARE(sqlite3_prepare_v2(database, plan.constData(), -1, &explain, nullptr), SQLITE_OK);
        QStringList reads;
        while (sqlite3_step(explain) == SQLITE_ROW) {
            const QString detail =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(explain, 3)));
            if (detail.contains("Words") || detail.contains("TEMP"))
                reads.append(detail);
        }
        sqlite3_finalize(explain);
        sqlite3_close(database);
        // Only the few used words are sorted; every tier is read in its index's order, so the read
        // stops once enough words were found.
        QStringList expected{"SEARCH Words USING INDEX WordsUsed (Text1>? AND Text1<?)",
                             "USE TEMP B-TREE FOR ORDER BY"};
        // Each commonness has a tier of each of the three kinds of word.
        QFETCH(int, kindsRead);
        for (std::size_t i = 0; i < rankTiers().size() / 3 * kindsRead; ++i)
            expected.append("SEARCH Words USING INDEX WordsByRank (<expr>=? AND Text1>? AND Text1<?)");
        QCOMPARE(reads, expected);
    }

    void bestWordsAreOffered_data() {
        QTest::addColumn<std::vector<WordRow>>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("mostLikelyFirst");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("common beats rare, listed alphabetically")
            << conWords << "con" << false << QStringList{"consider", "control"};
        QTest::newRow("most likely first")
            << std::vector<WordRow>{{"conakry", {}, 70}, {"consider", {}, 50}, {"control", {}, 35}} << "con"
            << true << QStringList{"control", "consider"};
        QTest::newRow("custom beats default of its class")
            << std::vector<WordRow>{{"hello", {}, 35}, {"helm", {}, 70}, {"helot", custom, 70}} << "hel"
            << true << QStringList{"hello", "helot"};
        QTest::newRow("custom word of no class beats every class")
            << std::vector<WordRow>{{"hello", {}, 35}, {"help", {}, 35}, {"helix", custom}} << "hel" << true
            << QStringList{"helix", "hello"};
        QTest::newRow("capitalised and empty-kind words match")
            << std::vector<WordRow>{{"Monday", QString(), 35}, {"money", {}, 50}, {"monk", {}, 70}} << "mon"
            << true << QStringList{"Monday", "money"};
        QTest::newRow("pattern signs match themselves")
            << std::vector<WordRow>{{"a_b", {}, 70}, {"axb", {}, 35}, {"a%b", {}, 35}} << "a_b" << false
            << QStringList{"a_b"};
    }
    void bestWordsAreOffered() {
        QFETCH(std::vector<WordRow>, rows);
        QFETCH(QString, typed);
        QFETCH(bool, mostLikelyFirst);
        Rig rig(rows);
        rig.engine.setRankingOptions({mostLikelyFirst, true, true});
        QTEST(rig.type(typed), "offered");
        QCOMPARE(rig.words.statements.filter("top"),
                 QStringList()); // the ranked statement, not the written one
    }

    void usedWordClimbsAndCountsCanBeCleared() {
        Rig rig(conWords);
        rig.engine.setRankingOptions({true, true, true});
        QCOMPARE(rig.type("conw"), QStringList{"Conway"});
        QCOMPARE(rig.complete(), QStringLiteral("ay"));
        QCOMPARE(rig.uses("conway"), QStringLiteral("1"));
        QCOMPARE(rig.type("con"), (QStringList{"Conway", "consider"}));
        // Two uses of control put it above Conway's one.
        for (int i = 0; i < 2; ++i) {
            rig.type("cont");
            rig.complete();
        }
        QCOMPARE(rig.type("con"), (QStringList{"control", "Conway"}));

        // Learning switched off: completing counts nothing.
        rig.engine.setRankingOptions({true, false, true});
        rig.type("conc");
        rig.complete();
        QCOMPARE(rig.uses("concave"), QStringLiteral("null"));

        QVERIFY(rig.sqlite.execute("update Words set Uses = null where Uses is not null"));
        QCOMPARE(rig.type("con"), (QStringList{"consider", "control"}));
    }

    void withoutRankingDataTheWrittenStatementsRun() {
        Rig rig({{"hello", {}}, {"help", {}}, {"helix", custom}}, WordsRanking::Without);
        rig.set([](EngineSettings& settings) { settings.Text4 = "15"; });
        QCOMPARE(rig.type("hel"), (QStringList{"helix", "hello", "help"}));
        QCOMPARE(rig.complete(1), QStringLiteral("lo"));
        QCOMPARE(rig.words.statements.filter("select  top"),
                 QStringList{"select  top 15 Text1 from words where Text1  like 'hel%' "});
        // No count is written where there is no column for it, and no ranked statement runs.
        QCOMPARE(rig.words.bound, QStringList());
        QCOMPARE(rig.uses("hello"), QStringLiteral("<none>"));
    }

    void rankingIsAddedOnlyToWritableDatabases() {
        Rig rig({{"hello", {}}, {"help", custom}}, WordsRanking::Without);
        QVERIFY(rig.sqlite.execute("PRAGMA query_only = 1"));
        QVERIFY(!addWordRanking(rig.sqlite));
        QVERIFY(!hasWordRanking(rig.sqlite));
        QVERIFY(rig.sqlite.execute("PRAGMA query_only = 0"));
        QVERIFY(addWordRanking(rig.sqlite));
        QVERIFY(addWordRanking(rig.sqlite)); // once is enough
        rig.engine.wordDatabaseChanged();
        rig.engine.setRankingOptions({true, true, true});
        // An added custom word has no class, so it comes first; the default words keep their order.
        QCOMPARE(rig.type("hel"), (QStringList{"help", "hello"}));
        rig.complete(1);
        QCOMPARE(rig.uses("hello"), QStringLiteral("1"));
        QCOMPARE(rig.type("hel"), (QStringList{"hello", "help"}));
    }

    void unwritableDatabaseCompletesWithoutLearning_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("read-only") << true;
        QTest::newRow("locked by another writer") << false;
    }
    void unwritableDatabaseCompletesWithoutLearning() {
        QFETCH(bool, readOnly);
        Rig rig(conWords);
        SqliteConnection other(rig.path());
        if (readOnly) {
            QVERIFY(rig.sqlite.execute("PRAGMA query_only = 1"));
        } else {
            // Another program is writing: reading still works, writing must not wait for it.
            QVERIFY(other.open() && other.execute("BEGIN IMMEDIATE") &&
                    other.execute("update Words set Uses = 5 where 0"));
        }
        QElapsedTimer elapsed;
        elapsed.start();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rig.type("con"), (QStringList{"consider", "control"}));
            QCOMPARE(rig.complete(1), QStringLiteral("trol"));
            QCOMPARE(rig.injector.shiftInserts, i + 1);
        }
        // A waiting write would have taken the lock's whole timeout, seconds, at each completion.
        QVERIFY2(elapsed.elapsed() < 1500, qPrintable(QString::number(elapsed.elapsed())));
        if (!readOnly)
            QVERIFY(other.execute("ROLLBACK"));
        QCOMPARE(rig.uses("control"), QStringLiteral("null"));
    }

    void capitals_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matchCapitals");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("all capitals") << "ZEB" << true << "RA";
        QTest::newRow("all capitals, switched off") << "ZEB" << false << "ra";
        QTest::newRow("capitalised") << "Zeb" << true << "ra";
        QTest::newRow("mixed") << "ZEb" << true << "ra";
        QTest::newRow("small then capitals") << "zEB" << true << "ra";
        QTest::newRow("one capital letter") << "Z" << true << "ebra";
        QTest::newRow("two capitals") << "ZE" << true << "BRA";
    }
    void capitals() {
        QFETCH(QString, typed);
        QFETCH(bool, matchCapitals);
        Rig rig({{"zebra", {}, 35}});
        rig.set([](EngineSettings& settings) { settings.Text9 = "1"; });
        rig.engine.setRankingOptions({false, true, matchCapitals});
        QCOMPARE(rig.type(typed), QStringList{"zebra"});
        QTEST(rig.complete(), "pasted");
    }
};

QTEST_MAIN(TestRanking)
#include "tst_ranking.moc"
