// Ranked suggestions through the engine: commonness, learning, letter case in every script, the
// database's upgrade and databases that cannot be written, and the capitals rule; and the
// statement written for a database without ranking data.
#include "engine/suggestionquery.h"
#include "enginerig.h"
#include "store/wordranking.h"
#include "tests/testfiles.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>
#include <map>
#include <sqlite3.h>

namespace {
const std::optional<QString> custom = QStringLiteral("1");

struct Rig : EngineRig {
    explicit Rig(const std::vector<WordRow>& rows, WordsRanking ranking = WordsRanking::With)
        : EngineRig(rows, ranking) {
        set([](EngineSettings& settings) { settings.Text4 = "2"; });
    }
    // Types after a Space the letters as a layout types them (A to Z on their own keys), '1' a digit,
    // ',' and '.' signs, '<' Backspace and '>' Tab; returns the words offered, as listed.
    QStringList type(const QString& typing) {
        static const std::map<QChar, int> keys{
            {'1', '1'}, {',', 188}, {'.', 190}, {'<', Backspace}, {'>', Tab}};
        hook.press(Space);
        for (const QChar c : typing) {
            const auto key = keys.find(c);
            if (c == '<' || c == '>')
                hook.press(key->second);
            else
                hook.pressTyping(key != keys.end()   ? key->second
                                 : c.unicode() < 128 ? c.toUpper().unicode()
                                                     : 219,
                                 QString(c).toStdString());
        }
        return form2().words();
    }
    QStringList read(const QString& select) { return column(sqlite, select); }
    // Takes the row of the list; returns what was pasted. Counting runs once the key is answered.
    QString complete(int row = 0) {
        for (int i = 0; i < row; ++i)
            hook.press(Down);
        hook.press(Tab);
        QCoreApplication::processEvents();
        return clipboard.text;
    }
    QString uses(const QString& word) {
        return read("select ifnull(Uses, 'null') from Words where Text1 = " + sqlLiteral(word))
            .value(0, "<none>");
    }
};

// How SQLite reads the tables for the statement: the details of its query plan.
QStringList readsOf(const QString& path, const QString& statement) {
    sqlite3* database = nullptr;
    sqlite3_stmt* explain = nullptr;
    QStringList reads;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(database, ("EXPLAIN QUERY PLAN " + statement).toUtf8().constData(), -1, &explain,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(explain) == SQLITE_ROW) {
            const auto detail =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(explain, 3)));
            if (detail.contains("Words", Qt::CaseInsensitive) || detail.contains("TEMP"))
                reads.append(detail);
        }
    }
    sqlite3_finalize(explain);
    sqlite3_close(database);
    return reads;
}

// Alphabetically the rare words come first, so index order would offer only them.
const std::vector<WordRow> conWords{{"conakry", {}, 70},  {"concatenate", {}, 70}, {"concave", {}, 50},
                                    {"consider", {}, 35}, {"control", {}, 35},     {"Conway", {}, 70}};
} // namespace

class TestRanking : public QObject {
    Q_OBJECT
private slots:
    // The statement written for a database without ranking data: its text, the word count check and
    // the escaping of the prefix.
    void queryText_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("useCustom");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* prefix, bool useDefault, bool useCustom,
                            const QString& end, const char* count = "15") {
            const QString top = QStringLiteral("select  top %1 Text1 from words where Text1  like ")
                                    .arg(QString(count).trimmed());
            QTest::newRow(name) << QString(count) << QString(prefix) << useDefault << useCustom << top + end;
        };
        // What each kind of word matches is the engine suite's; here, the text of the rarer prefixes.
        row("count zero with blanks", "ab", true, true, "'ab%' ", " 0\t");
        row("apostrophe doubled, brackets as they are", "o'[^]`", true, true, "'o''[^]`%' ");
        row("backslash, percent escaped", "a\\5%", true, true, "'a\\\\5\\%%' escape '\\' ");
        row("escape before the filters", "_", false, true, "'\\_%' escape '\\'  and Type1 is not null ");
        // A count that is no whole number gives no query at all.
        for (const char* count :
             {"abc", "", "   ", "-1", "+3", "1.5", "1e2", "1 5", "15; drop table Words", "\u0661\u0665"})
            QTest::addRow("count '%s'", count)
                << QString::fromUtf8(count) << "hel" << true << true << QString();
    }
    void queryText() {
        QFETCH(QString, count);
        QFETCH(QString, prefix);
        QFETCH(bool, useDefault);
        QFETCH(bool, useCustom);
        QTEST(suggestionQuery(count, prefix, useDefault, useCustom).value_or(QString()), "expected");
    }

    void rankedLookupReadsIndexRangesOnly_data() {
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("useCustom");
        QTest::addColumn<int>("kindsRead");
        QTest::addColumn<WordsRanking>("ranking");
        QTest::newRow("every kind") << true << true << 3 << WordsRanking::With;
        QTest::newRow("no default words") << false << true << 2 << WordsRanking::With;
        QTest::newRow("no custom words") << true << false << 2 << WordsRanking::With;
        QTest::newRow("earlier version's, read as it is") << true << true << 3 << WordsRanking::Unfolded;
    }
    void rankedLookupReadsIndexRangesOnly() {
        QFETCH(bool, useDefault);
        QFETCH(bool, useCustom);
        QFETCH(WordsRanking, ranking);
        Rig rig(conWords, ranking);
        const bool folded = ranking == WordsRanking::With;
        const QStringList reads =
            readsOf(rig.path(), rankedSuggestionQuery("15", useDefault, useCustom,
                                                      folded ? WordSchema::Folded : WordSchema::Ranked, false)
                                    .value());
        // Only the few used words are sorted; every tier is read in its index's order, so the read
        // stops once enough words were found.
        const QString key = folded ? "Folded" : "Text1";
        QStringList expected{QString("SEARCH Words USING INDEX %1 (%2>? AND %2<?)")
                                 .arg(folded ? "WordsUsedFolded" : "WordsUsed", key),
                             "USE TEMP B-TREE FOR ORDER BY"};
        // Each commonness has a tier of each of the three kinds of word, read twice: first the
        // words that save keys, then those that save none.
        QFETCH(int, kindsRead);
        for (std::size_t i = 0; i < rankTiers().size() / 3 * kindsRead * 2; ++i)
            expected.append(QString("SEARCH Words USING INDEX %1 (<expr>=? AND %2>? AND %2<?)")
                                .arg(folded ? "WordsByFoldedRank" : "WordsByRank", key));
        QCOMPARE(reads, expected);
    }

    void bestWordsAreOffered_data() {
        QTest::addColumn<std::vector<WordRow>>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("mostLikelyFirst");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<bool>("numberKeys");
        QTest::newRow("common beats rare, listed alphabetically")
            << conWords << "con" << false << QStringList{"consider", "control"} << false;
        QTest::newRow("most likely first")
            << std::vector<WordRow>{{"conakry", {}, 70}, {"consider", {}, 50}, {"control", {}, 35}} << "con"
            << true << QStringList{"control", "consider"} << false;
        QTest::newRow("custom beats default of its class")
            << std::vector<WordRow>{{"hello", {}, 35}, {"helm", {}, 70}, {"helot", custom, 70}} << "hel"
            << true << QStringList{"hello", "helot"} << false;
        QTest::newRow("custom word of no class beats every class")
            << std::vector<WordRow>{{"hello", {}, 35}, {"help", {}, 35}, {"helix", custom}} << "hel" << true
            << QStringList{"helix", "hello"} << false;
        QTest::newRow("capitalised and empty-kind words match")
            << std::vector<WordRow>{{"Monday", QString(), 35}, {"money", {}, 50}, {"monk", {}, 70}} << "mon"
            << true << QStringList{"Monday", "money"} << false;
        QTest::newRow("a word at most a letter longer than typed comes after its tier")
            << std::vector<WordRow>{{"con", {}, 35},
                                    {"cone", {}, 35},
                                    {"conical", {}, 35},
                                    {"convoy", {}, 50}}
            << "con" << true << QStringList{"conical", "con"} << false;
        // Picked with number keys, any of the first rows costs one key: the shorter word, the likelier.
        const std::vector<WordRow> concWords{{"concentrate", {}, 35}, {"conclude", {}, 35},
                                             {"convoy", {}, 35},      {"conceit", {}, 50},
                                             {"concerto", {}, 50},    {"condor", {}, 50}};
        QTest::newRow("commonest classes shorter first with number keys")
            << concWords << "con" << true << QStringList{"convoy", "conclude"} << true;
        QTest::newRow("word order without number keys")
            << concWords << "con" << true << QStringList{"concentrate", "conclude"} << false;
        QTest::newRow("rarer classes in word order with number keys")
            << std::vector<WordRow>{concWords.begin() + 3, concWords.end()} << "con" << true
            << QStringList{"conceit", "concerto"} << true;
        QTest::newRow("pattern signs match themselves")
            << std::vector<WordRow>{{"a_b", {}, 70}, {"axb", {}, 35}, {"a%b", {}, 35}} << "a_b" << false
            << QStringList{"a_b"} << false;
    }
    void bestWordsAreOffered() {
        QFETCH(std::vector<WordRow>, rows);
        QFETCH(QString, typed);
        QFETCH(bool, mostLikelyFirst);
        Rig rig(rows);
        QFETCH(bool, numberKeys);
        rig.engine.setRankingOptions({mostLikelyFirst, true, true, false, numberKeys});
        QTEST(rig.type(typed), "offered");
        QCOMPARE(rig.words.statements.filter("top"),
                 QStringList()); // the ranked statement, not the written one
    }

    void letterCaseFoldsInEveryScript_data() {
        QTest::addColumn<std::vector<WordRow>>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("Über, ÜBER, über")
            << std::vector<WordRow>{{"Über", {}, 35}, {"ÜBER", custom}, {"über", {}, 70}, {"uber", {}, 35}}
            << "üb" << QStringList{"ÜBER", "Über", "über"};
        const std::vector<WordRow> logos{
            {"ΛΌΓΟΣ", {}, 35}, {"λόγος", {}, 35}, {"λόγοσ", {}, 70}, {"λογική", {}}};
        QTest::newRow("final sigma") << logos << "λόγος" << QStringList{"ΛΌΓΟΣ", "λόγος", "λόγοσ"};
        QTest::newRow("typed in capitals") << logos << "ΛΌΓ" << QStringList{"ΛΌΓΟΣ", "λόγος", "λόγοσ"};
        // ß and ẞ are one letter; ss is another spelling: Maße is not Masse.
        const std::vector<WordRow> sharpS{
            {"Straße", {}}, {"STRAẞE", {}}, {"STRASSE", {}}, {"Maße", {}}, {"Masse", {}}};
        QTest::newRow("ß") << sharpS << "straß" << QStringList{"STRAẞE", "Straße"};
        QTest::newRow("ss") << sharpS << "strass" << QStringList{"STRASSE"};
        QTest::newRow("not ss") << sharpS << "maß" << QStringList{"Maße"};
    }
    void letterCaseFoldsInEveryScript() {
        QFETCH(std::vector<WordRow>, rows);
        QFETCH(QString, typed);
        Rig rig(rows);
        rig.set([](EngineSettings& settings) {
            settings.Text4 = "15";
            settings.Text9 = "2";
        });
        QStringList offered = rig.type(typed);
        offered.sort();
        QTEST(offered, "offered");
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
        // Used more, but a word one letter longer than typed saves nothing.
        QVERIFY(rig.sqlite.execute(
            "insert into Words (Text1, Folded, Commonness, Uses) values ('cone', 'cone', 70, 9)"));
        QCOMPARE(rig.type("con"), (QStringList{"control", "Conway"}));

        // Learning switched off: completing counts nothing.
        rig.engine.setRankingOptions({true, false, true});
        rig.type("conc");
        rig.complete();
        QCOMPARE(rig.uses("concave"), QStringLiteral("null"));
    }

    void withoutRankingDataTheWrittenStatementsRun() {
        Rig rig({{"hello", {}}, {"help", {}}, {"helix", custom}}, WordsRanking::Without);
        rig.set([](EngineSettings& settings) { settings.Text4 = "15"; });
        QCOMPARE(rig.type("hel"), (QStringList{"helix", "hello", "help"}));
        QCOMPARE(rig.complete(1), QStringLiteral("lo"));
        // No count is written where there is no column for it, and no ranked statement runs.
        QCOMPARE(rig.words.bound, QStringList());
        // The lookup reads a range of the index, an escaped sign and a filter of the kind too.
        static const QRegularExpression rangeScan(
            R"(^SEARCH words USING (COVERING )?INDEX WordsByText1 \(Text1>\? AND Text1<\?\)$)");
        for (const char* prefix : {"hel", "a_b"}) {
            const QStringList reads =
                readsOf(rig.path(), SqliteConnection::toSqlite(*suggestionQuery("15", prefix, false, true)));
            QVERIFY2(reads.size() == 1 && reads[0].contains(rangeScan), qPrintable(reads.join('|')));
        }
    }

    void upgradeIsOneTransaction_data() {
        QTest::addColumn<WordsRanking>("ranking");
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("without ranking") << WordsRanking::Without << QString();
        QTest::newRow("earlier version's ranking") << WordsRanking::Unfolded << QString();
        QTest::newRow("read-only") << WordsRanking::Unfolded << "PRAGMA query_only = 1";
        // Its last index cannot be made: the columns added and filled before must go too.
        QTest::newRow("failing at the end")
            << WordsRanking::Without << "create view WordsUsedFolded as select 1";
    }
    void upgradeIsOneTransaction() {
        QFETCH(WordsRanking, ranking);
        QFETCH(QString, obstacle);
        Rig rig({{"hello", {}, 35}, {"help", custom}, {"Über", {}, 50}, {"übel", {}, 70}}, ranking);
        const bool ranked = ranking == WordsRanking::Unfolded;
        if (ranked)
            QVERIFY(rig.sqlite.execute("update Words set Uses = 3 where Text1 = 'übel'"));
        const QString rows = "select Text1 || ifnull(Type1, '-') from Words order by rowid";
        const QString schema =
            "select name from pragma_table_info('Words') union all select name from sqlite_master";
        if (!obstacle.isEmpty())
            QVERIFY(rig.sqlite.execute(obstacle));
        const QStringList rowsBefore = rig.read(rows), schemaBefore = rig.read(schema);

        QCOMPARE(upgradeWordSchema(rig.sqlite), obstacle.isEmpty());
        QCOMPARE(rig.read(rows), rowsBefore);
        if (!obstacle.isEmpty()) {
            QCOMPARE(rig.read(schema), schemaBefore);
            return;
        }
        QVERIFY(wordSchema(rig.sqlite) == WordSchema::Folded);
        // An earlier version still finds what it uses; a word it adds gets its key at the next start.
        for (const QString& name : schemaBefore)
            QVERIFY(rig.read(schema).contains(name));
        QVERIFY(rig.sqlite.execute("insert into words (Text1, Type1) values ('ÜBELKEIT','1')"));
        QVERIFY(upgradeWordSchema(rig.sqlite));

        rig.engine.wordDatabaseChanged();
        rig.engine.setRankingOptions({true, true, true});
        rig.set([](EngineSettings& settings) { settings.Text9 = "2", settings.Text4 = "15"; });
        // Used first, then the custom word of no class, then by class (unknown after an upgrade).
        QCOMPARE(rig.type("üb"), ranked ? (QStringList{"übel", "ÜBELKEIT", "Über"})
                                        : (QStringList{"ÜBELKEIT", "übel", "Über"}));
        QCOMPARE(rig.complete(ranked ? 0 : 1), QStringLiteral("el"));
        QCOMPARE(rig.uses("übel"), ranked ? "4" : "1");
    }

    void unwritableDatabaseCompletesWithoutLearning_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<WordsRanking>("ranking");
        QTest::newRow("read-only") << true << WordsRanking::With;
        QTest::newRow("read-only, an earlier version's") << true << WordsRanking::Unfolded;
        QTest::newRow("locked by another writer") << false << WordsRanking::With;
    }
    void unwritableDatabaseCompletesWithoutLearning() {
        QFETCH(bool, readOnly);
        QFETCH(WordsRanking, ranking);
        Rig rig(conWords, ranking);
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

    void wordsTypedInFullAreLearnt_data() {
        QTest::addColumn<QStringList>("typings"); // as Rig::type() types them
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("learnt"); // Text1, Type1, Uses, Learned of the rows learnt or used
        const auto row = [](const char* name, const QStringList& typings, const char* learnt,
                            const char* setup = "") {
            QTest::newRow(name) << typings << QString(setup) << QString(learnt);
        };
        const QStringList thrice{"Zorblat", "zorblat", "zorblat"};
        row("three typings, in two ways", thrice, "zorblat 1 3 1");
        row("a name typed alike", {"Ulm", "Ulmer", "Ulmer", "Ulmer"}, "Ulmer 1 3 1");
        row("two typings", thrice.mid(1), "");
        row("a sign after the word", {"zorblat,", "zorblat.", "zorblat"}, "zorblat 1 3 1");
        row("a digit inside", QStringList(3, "zorb1lat"), "");
        row("a digit after", QStringList(3, "zorblat1"), "");
        row("a sign inside", QStringList(3, "zorb,lat"), "");
        row("corrected with Backspace", QStringList(3, "zorbx<lat"), "");
        // conw offers Conway alone; what follows the completion is no word typed in full.
        row("letters after a completion", QStringList(3, "conw>lander"), "Conway - 3 -");
        row("shorter than the length to add", QStringList(3, "zor"), "");
        // A word of the list typed in full counts its typings as uses, as completing it would.
        row("in the list, other case", QStringList(3, "CONTROL"), "control - 3 -");
        row("in the list, typed again", QStringList(4, "control"), "control - 4 -");
        row("learnt, typed again", QStringList(4, "zorblat"), "zorblat 1 4 1");
        row("option off", thrice, "", "off");
        row("completion switched off", thrice, "", "completion off");
        row("paused", thrice, "", "paused");
        row("the day's bound reached", thrice, "", "day full");
        row("yesterday's bound", thrice, "zorblat 1 3 1", "yesterday full");
        row("read-only", thrice, "", "read-only");
        // A database of an earlier version without the marker gets it at the next start.
        row("marker added", thrice, "zorblat 1 3 1", "no marker");
        row("no marker, read-only", thrice, "", "no marker, read-only");
    }
    void wordsTypedInFullAreLearnt() {
        QFETCH(QStringList, typings);
        QFETCH(QString, setup);
        Rig rig(conWords);
        rig.set([](EngineSettings& settings) { settings.Text9 = "4"; });
        rig.engine.setRankingOptions({true, true, true, setup != "off"});
        if (setup.startsWith("no marker")) {
            QVERIFY(rig.sqlite.execute("alter table Words drop column Learned"));
            if (setup.endsWith("read-only"))
                QVERIFY(rig.sqlite.execute("PRAGMA query_only = 1"));
            QVERIFY(upgradeWordSchema(rig.sqlite));
        }
        if (setup == "read-only")
            QVERIFY(rig.sqlite.execute("PRAGMA query_only = 1"));
        if (setup == "completion off")
            rig.set([](EngineSettings& settings) { settings.Check1 = Qt::Unchecked; });
        if (setup.startsWith("day full") || setup == "yesterday full")
            rig.engine.learner().setLearnedOn(QDate::currentDate().addDays(setup == "day full" ? 0 : -1),
                                              WordLearner::wordsPerDay);
        rig.engine.setPaused(setup == "paused");
        for (const QString& typing : typings)
            rig.type(typing);
        rig.hook.press(Space);
        QCoreApplication::processEvents();
        const QString learned =
            "select Text1 || ' ' || ifnull(Type1, '-') || ' ' || ifnull(Uses, '-') || ' ' || "
            "ifnull(Learned, '-') from Words where Uses is not null or Text1 not in (%1)";
        QStringList listed;
        for (const WordRow& row : conWords)
            listed.append(sqlLiteral(row.text));
        QTEST(rig.read(learned.arg(listed.join(','))).join(';'), "learnt");
    }

    void capitals_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matchCapitals");
        QTest::addColumn<QString>("pasted");
        // A word typed in capitals completes in capitals: the desktop scenarios' row.
        QTest::newRow("all capitals, switched off") << "ZEB" << false << "ra";
        QTest::newRow("capitalised") << "Zeb" << true << "ra";
        QTest::newRow("mixed") << "ZEb" << true << "ra";
        QTest::newRow("small then capitals") << "zEB" << true << "ra";
        QTest::newRow("one capital letter") << "Z" << true << "ebra";
        QTest::newRow("two capitals") << "ZE" << true << "BRA";
        QTest::newRow("umlaut") << "ÜBE" << true << "RALL";
        // German writes ß in capitals as SS.
        QTest::newRow("ß in capitals") << "STRA" << true << "SSE";
        QTest::newRow("final sigma in capitals") << "ΛΌΓ" << true << "ΟΣ";
    }
    void capitals() {
        QFETCH(QString, typed);
        QFETCH(bool, matchCapitals);
        Rig rig({{"zebra", {}, 35}, {"überall", {}, 35}, {"straße", {}, 35}, {"λόγος", {}, 35}});
        rig.set([](EngineSettings& settings) { settings.Text9 = "1"; });
        rig.engine.setRankingOptions({false, true, matchCapitals});
        QCOMPARE(rig.type(typed).size(), 1);
        QTEST(rig.complete(), "pasted");
    }
};

QTEST_MAIN(TestRanking)
#include "tst_ranking.moc"
