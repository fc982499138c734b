// The word lists of languages, the build-time maker of words.mdb, and the words.mdb it ships.
#include "store/defaultwordlists.h"
#include "store/languagelists.h"
#include "store/sqliteconnection.h"
#include "store/wordstatements.h"
#include "tests/testfiles.h"
#include "tools/wordsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestDefaultWordLists : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_database;

    QString write(const QString& name, const QByteArray& bytes) {
        return writeFile(m_dir.filePath(name), bytes);
    }
    // Every row as "text|type|commonness|uses", exactly ordered.
    static QStringList rows(DbConnection& words) {
        return column(words,
                      "select Text1 || '|' || coalesce(Type1, '-') || '|' || coalesce(Commonness, '') || "
                      "'|' || coalesce(Uses, '') from Words order by Text1 collate binary");
    }

    int run(const QStringList& arguments) {
        QProcess process;
        process.start(QUENLO_MAKEWORDSDB, arguments);
        if (!process.waitForFinished(60000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // Runs it on a dictionary of the bytes, or on a missing one when they are null.
    int make(const QByteArray& bytes, const QString& output) {
        QFile::remove(m_dir.filePath("dictionary"));
        return run({bytes.isNull() ? m_dir.filePath("dictionary") : write("dictionary", bytes), output});
    }

private slots:
    void init() {
        m_database = m_dir.filePath(QString(QTest::currentTestFunction()) + QTest::currentDataTag() + ".mdb");
        QFile::remove(m_database);
        QVERIFY(createWordsDatabase(m_database, {{"Haus", "1"}, {"Berlin", std::nullopt, 50}}, nullptr,
                                    WordsRanking::With));
    }

    void localeChoosesList_data() {
        QTest::addColumn<QByteArrayList>("environment"); // LC_ALL, LC_MESSAGES, LANG
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("chosen");
        // Which list a language takes is the table's; here, how the locale is found and matched.
        const QStringList all{"ngerman", "swiss", "french", "portuguese", "brazilian", "ukrainian"};
        QTest::newRow("German") << QByteArrayList{"", "", "de_DE.UTF-8"} << all << "ngerman";
        QTest::newRow("Swiss German: its own list")
            << QByteArrayList{"", "", "de_CH.UTF-8"} << all << "swiss";
        QTest::newRow("Swiss German without it")
            << QByteArrayList{"", "", "de_CH"} << QStringList{"ngerman"} << "ngerman";
        QTest::newRow("Portugal, only the Brazilian list")
            << QByteArrayList{"", "", "pt_PT"} << QStringList{"brazilian"} << "brazilian";
        QTest::newRow("LC_ALL first")
            << QByteArrayList{"uk_UA.KOI8-U", "fr_FR", "de_DE"} << all << "ukrainian";
        QTest::newRow("LC_MESSAGES before LANG")
            << QByteArrayList{"", "fr_FR@euro", "de_DE.UTF-8"} << all << "french";
        QTest::newRow("English keeps the default words")
            << QByteArrayList{"", "", "en_GB.UTF-8"} << all << "";
        QTest::newRow("C") << QByteArrayList{"C.UTF-8", "", "de_DE.UTF-8"} << all << "";
        QTest::newRow("not installed")
            << QByteArrayList{"", "", "de_DE.UTF-8"} << QStringList{"french"} << "";
        QTest::newRow("nothing set") << QByteArrayList{"", "", ""} << all << "";
    }
    void localeChoosesList() {
        QFETCH(QByteArrayList, environment);
        QFETCH(QStringList, installed);
        const char* variables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
        QList<QByteArray> before;
        for (int i = 0; i < 3; ++i) {
            before.append(qgetenv(variables[i]));
            qputenv(variables[i], environment[i]);
        }
        QList<LanguageList> lists;
        for (const QString& file : installed)
            lists.append(*languageList(file));
        const std::optional<LanguageList> list = listForLocale(userLocaleName(), lists);
        for (int i = 0; i < 3; ++i)
            qputenv(variables[i], before[i]);
        QTEST(list ? list->file : QString(), "chosen");
    }

    // UTF-8 is taken when the file is UTF-8 throughout, else the list's own older page.
    void readsEachEncodingByteExact_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("UTF-8, byte-order mark, CR LF, spaces and blank lines")
            << QByteArray("\xEF\xBB\xBF"
                          "Stra\xC3\x9F"
                          "e\r\n  \xC3\x9C"
                          "bermut \r\n\r\nHaus\nBerlin\nhaus\n")
            << "ngerman" << QStringList{"Straße", "Übermut", "haus"};
        QTest::newRow("ISO-8859-1") << QByteArray("\xE9"
                                                  "clair\ngar\xE7on\nNo\xEBl\n")
                                    << "french" << QStringList{"Noël", "garçon", "éclair"};
        QTest::newRow("ISO-8859-2") << QByteArray("\xBF\xF3\xB3w\n\xA1la\n") << "polish"
                                    << QStringList{"Ąla", "żółw"};
        QTest::newRow("KOI8-U") << QByteArray("\xD0\xD2\xC9\xD7\xA6\xD4\n\xAD\xC1\xCE\xCF\xCB\n")
                                << "ukrainian" << QStringList{"ґанок", "привіт"};
        QTest::newRow("Windows-1251")
            << QByteArray("\xE7\xE4\xF0\xE0\xE2\xE5\xE9\n\xDF\xE1\xFA\xEB\xFA\xEA\n") << "bulgarian"
            << QStringList{"здравей", "Ябълък"};
    }
    void readsEachEncodingByteExact() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, list);
        QFETCH(QStringList, added);
        SqliteConnection words(m_database);
        const WordListChange change =
            addWordList(words, {write(list, bytes), languageList(list)->olderCodePage()});
        QVERIFY2(change.done && change.problem.isEmpty(), qPrintable(change.problem));
        QStringList expected{"Berlin|-|50|", "Haus|1||"};
        for (const QString& word : added)
            expected.append(word + "|-||");
        expected.sort(); // as binary order sorts UTF-16
        QCOMPARE(rows(words), expected);
        // Each word with its folded key, so that it is offered in any letter case.
        QCOMPARE(column(words, "select count(*) from Words where Folded is not folded_word(Text1)"),
                 QStringList{"0"});
        // Added again: nothing doubles.
        QVERIFY(addWordList(words, {m_dir.filePath(list), languageList(list)->olderCodePage()}).done);
        QCOMPARE(rows(words), expected);
    }

    void badListsAddNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("told");
        QTest::newRow("control characters")
            << QByteArray("gut\nT\xC3\xBCr\tzu\n") << "line 2 holds control characters";
        QTest::newRow("another encoding: the ISO page's control range")
            << QByteArray("gut\nT\x81r\n")
            << "line 2 is in an encoding Quenlo does not know here, neither "
               "UTF-8 nor ISO-8859-1";
        QTest::newRow("no file") << QByteArray() << "No word of it was added.";
        QTest::newRow("a folder") << QByteArray() << "it is not a regular file";
        QTest::newRow("the database refuses a word halfway") << QByteArray("gut\nSchlag\nzu\n")
                                                             << "could not be added to the word database, "
                                                                "which is unchanged: full";
    }
    void badListsAddNothing() {
        QFETCH(QByteArray, bytes);
        const QString tag = QTest::currentDataTag();
        QString path = m_dir.filePath("missing");
        if (!bytes.isEmpty())
            path = write("list", bytes);
        if (tag == "a folder")
            path = m_dir.path();
        SqliteConnection words(m_database);
        QVERIFY(words.open());
        QVERIFY(words.execute("create trigger Full before insert on Words when new.Text1 = 'zu' "
                              "begin select raise(abort, 'full'); end"));
        const QStringList before = rows(words);
        const WordListChange change = addWordList(words, {path, iso8859_1()});
        QVERIFY(!change.done);
        QFETCH(QString, told);
        QVERIFY2(change.problem.contains(told), qPrintable(change.problem));
        QCOMPARE(rows(words), before);
    }

    void longLinesAreLeftOutAndTold() {
        SqliteConnection words(m_database);
        const QString path = write("long", "gut\n" + QByteArray(5000, 'x') + "\nzu\n");
        const WordListChange change = addWordList(words, {path, iso8859_1()});
        QVERIFY(change.done);
        QCOMPARE(change.problem, "Line 2 of the word list file \"" + QDir::toNativeSeparators(path) +
                                     "\" is longer than 4096 bytes and was not imported.");
        QCOMPARE(rows(words), (QStringList{"Berlin|-|50|", "Haus|1||", "gut|-||", "zu|-||"}));
    }

    // Removal takes only words a list brought that were never completed and no kept list holds.
    void removalSparesWhatOthersHold() {
        SqliteConnection words(m_database);
        const WordListSource german{write("german", "Haus\nBerlin\nT\xC3\xBCr\nOfen\nZug\n"), iso8859_1()};
        const WordListSource kept{write("kept", "Zug\n"), iso8859_1()};
        QVERIFY(addWordList(words, german).done);
        QVERIFY(words.execute("update Words set Uses = 2 where Text1 = 'Ofen'"));
        QVERIFY(removeWordList(words, german, {kept}).done);
        QCOMPARE(rows(words), (QStringList{"Berlin|-|50|", "Haus|1||", "Ofen|-||2", "Zug|-||"}));
        // A kept list that cannot be read removes nothing.
        const WordListChange change = removeWordList(words, kept, {{m_dir.filePath("gone"), iso8859_1()}});
        QVERIFY(!change.done && change.problem.contains("No word of the word list"));
        QCOMPARE(rows(words).size(), 4);
    }

    void keepsLetterWordsAndReplacesOnlyOnSuccess() {
        const QString output = m_dir.filePath("words.mdb");
        QCOMPARE(make("A\nAaron's\nhello\n\xC3\x85ngstr\xC3\xB6m\nx1\ntwo words\n\nzebra\n", output), 0);
        const QStringList words{"A", "hello", "zebra", "Ångström"};
        QCOMPARE(column(output, allWordsStatement()), words);
        QCOMPARE(column(output, defaultWordsStatement()), words); // so every word is a default word
        QCOMPARE(make("two", output), 0);
        QCOMPARE(column(output, allWordsStatement()), QStringList{"two"});
        QVERIFY(make(QByteArray(), output) != 0);
        QCOMPARE(column(output, allWordsStatement()), QStringList{"two"});
        QCOMPARE(QDir(m_dir.path()).entryList({"*.new"}, QDir::Files), QStringList());
    }

    void eachWordGetsTheSmallestClassHoldingIt() {
        const QString output = m_dir.filePath("ranked.mdb");
        // The order of the lists does not matter: the smallest class wins.
        QCOMPARE(run({"70=" + write("large", "aardvark\nthe\nzebra\nZebra\nx1\n"),
                      "35=" + write("small", "the\nzebra\n"), output}),
                 0);
        QCOMPARE(
            column(output,
                   "select Text1 || ' ' || Commonness from Words order by Commonness, Text1 collate binary"),
            (QStringList{"the 35", "zebra 35", "Zebra 70", "aardvark 70"}));
    }

    void shippedWordsLieBesideTheProgram() {
        // Tests are built into the program's folder, so the shipped file lies beside this one too.
        const QString shipped = QCoreApplication::applicationDirPath() + "/words.mdb";
        QVERIFY(QFile::exists(shipped));
        QVERIFY(column(shipped, allWordsStatement()).size() > 50000);
        QCOMPARE(column(shipped, "select Text1 from Words where Text1 = 'hello' and Type1 is null"),
                 QStringList{"hello"});
        QCOMPARE(column(shipped, "select Text1 from Words where Text1 like '%''%' or Type1 is not null"),
                 QStringList());
        // Ranked: the commonest words are SCOWL's smallest list's, and the list reaches rare words too.
        QCOMPARE(column(shipped,
                        "select Commonness from Words where Text1 in ('hello', 'heliacal') collate binary "
                        "order by Text1 desc"),
                 (QStringList{"10", "70"}));
        QCOMPARE(column(shipped, "select count(*) from Words where Commonness is null or Uses is not null or "
                                 "Folded is null"),
                 QStringList{"0"});
        QVERIFY(column(shipped, "select Text1 from Words where Commonness = 70").size() > 30000);
    }
};

QTEST_GUILESS_MAIN(TestDefaultWordLists)
#include "tst_defaultwordlists.moc"
