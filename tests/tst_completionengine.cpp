// The key handling end to end: word buffer rules, lookup, navigation, completion, queued keys.
#include "engine/completionengine.h"
#include "engine/suggestionpopup.h"
#include "platform/fakes/fakes.h"
#include "platform/fakes/testkeyboardhook.h"
#include "platform/sqliteconnection.h"
#include "platform/wordsfile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Esc = 27, Space = 32, Up = 38, Down = 40;

// Passes everything on to the real database and keeps the statements it was given.
class RecordingConnection final : public DbConnection {
public:
    explicit RecordingConnection(DbConnection& inner)
        : m_inner(inner) {}
    bool open() override {
        ++opens;
        return m_inner.open();
    }
    int state() const override { return m_inner.state(); }
    void close() override { m_inner.close(); }
    std::unique_ptr<DbResult> execute(const QString& statement) override {
        statements.append(statement);
        return m_inner.execute(statement);
    }
    QString lastError() const override { return m_inner.lastError(); }

    QStringList statements;
    int opens = 0;

private:
    DbConnection& m_inner;
};

std::vector<WordRow> standardWords() {
    return {{"hello", std::nullopt},  {"help", std::nullopt},  {"helmet", QString("")},
            {"helix", QString("1")},  {"world", std::nullopt}, {"o'clock", std::nullopt},
            {"a_b", std::nullopt},    {"axb", std::nullopt},   {"a\\b", std::nullopt},
            {"Monday", std::nullopt}, {"abc", std::nullopt},   {"pair", std::nullopt},
            {"pairs", std::nullopt}};
}

// The main window's controls with their design values, a words database, and the fakes.
struct Rig {
    explicit Rig(const std::vector<WordRow>& rows = standardWords()) {
        QString error;
        if (!dir.isValid() || !createWordsDatabase(dir.filePath("words.mdb"), rows, &error))
            qFatal("cannot create the words database: %s", qPrintable(error));
        sqlite = std::make_unique<SqliteConnection>(dir.filePath("words.mdb"));
        sqlite->open();
        words = std::make_unique<RecordingConnection>(*sqlite);
        for (QCheckBox* box : {&Check1, &Check4, &Check5})
            box->setChecked(true);
        engine = std::make_unique<CompletionEngine>(
            EngineControls{&Text9, &Text8, &Text4, &Check1, &Check4, &Check5, &Text1, &Text5, &Label1},
            *words, clipboard, injector, hook);
        engine->setCompletionKeyCode(Tab);
        std::string problem;
        hook.start(
            [this](int keyCode, KeyDecision decide) { engine->keyPressed(keyCode, std::move(decide)); },
            problem);
    }

    // Presses the letter keys of a lower-case word.
    void type(const QString& letters) {
        for (const QChar c : letters)
            hook.press(c.toUpper().unicode());
    }
    std::int16_t press(int keyCode) { return hook.press(keyCode).value_or(-1); }
    SuggestionPopup& form2() { return engine->popup(); }
    QStringList rows() {
        QStringList shown;
        for (int row = 0; row < form2().rowCount(); ++row)
            shown.append(form2().rowText(row));
        return shown;
    }

    QTemporaryDir dir;
    QLineEdit Text9{"3"}, Text8{"4"}, Text4{"15"}, Text1, Text5;
    QCheckBox Check1, Check4, Check5;
    QLabel Label1;
    std::unique_ptr<SqliteConnection> sqlite;
    std::unique_ptr<RecordingConnection> words;
    FakeClipboard clipboard;
    RecordingKeyInjector injector;
    TestKeyboardHook hook;
    std::unique_ptr<CompletionEngine> engine;
};
} // namespace

class TestCompletionEngine : public QObject {
    Q_OBJECT
private slots:
    void wordBuffer_data();
    void wordBuffer();
    void keyDisplay_data();
    void keyDisplay();
    void minimumLengthToAddKeptNumeric_data();
    void minimumLengthToAddKeptNumeric();
    void popupCreatedOnFirstKey();
    void lookupFillsSortedList();
    void wordCountLimitsRows();
    void wordCountThatIsNoNumberOffersNothing();
    void noMatchHidesButKeepsSuggestion();
    void wordKindFilters_data();
    void wordKindFilters();
    void signsMatchThemselves_data();
    void signsMatchThemselves();
    void apostropheInBufferBecomesBlank();
    void closedConnectionReopened();
    void completesFirstWord();
    void downThenCompleteInsertsSecond();
    void arrowsAtTheEndsPassThrough();
    void downAndUpAgain();
    void completionKeyWhileHiddenEndsWord();
    void shiftAsCompletionKey();
    void wordAlreadyComplete();
    void clipboardNotWritableSkipsPaste();
    void switchedOffStillNavigatesVisiblePopup();
    void hookToldOfVisibility();
    void keysDuringLookupWaitTheirTurn();
};

void TestCompletionEngine::wordBuffer_data() {
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<int>("lookups");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("minimumAfter");

    const QList<int> hel{'H', 'E', 'L'};
    QTest::newRow("Shift adds nothing")
        << "3" << true << QList<int>{Shift, 'H', 'E', 'L', 'L', 'O'} << "hello" << 3 << true << "3";
    QTest::newRow("digits neither add nor end")
        << "3" << true << QList<int>{'A', 'B', '1', 'C'} << "abc" << 1 << true << "3";
    QTest::newRow("Backspace forgets the word")
        << "3" << true << hel + QList<int>{Backspace} << "" << 1 << false << "3";
    QTest::newRow("Enter ends the word") << "3" << true << hel + QList<int>{Enter} << "" << 1 << false << "3";
    QTest::newRow("Tab while hidden ends the word")
        << "3" << true << QList<int>{'H', Tab} << "" << 0 << false << "3";
    QTest::newRow("Space starts a new word")
        << "3" << true << QList<int>{'A', 'B', Space, 'C'} << "c" << 0 << false << "3";
    QTest::newRow("Space hides the list")
        << "3" << true << hel + QList<int>{Space} << "" << 1 << false << "3";
    QTest::newRow("Space with minimum 0 keeps the list")
        << "0" << true << hel + QList<int>{Space} << "" << 3 << true << "0";
    QTest::newRow("Esc hides, keeps the word")
        << "3" << true << hel + QList<int>{Esc} << "hel" << 1 << false << "3";
    QTest::newRow("Esc, then a letter shows again")
        << "3" << true << hel + QList<int>{Esc, 'P'} << "help" << 2 << true << "3";
    QTest::newRow("keypad 1 adds a") << "3" << true << QList<int>{97} << "a" << 0 << false << "3";
    QTest::newRow("F1 adds p") << "3" << true << QList<int>{112} << "p" << 0 << false << "3";
    QTest::newRow("F10 adds y") << "3" << true << QList<int>{121} << "y" << 0 << false << "3";
    QTest::newRow("F11 adds nothing") << "3" << true << QList<int>{122} << "" << 0 << false << "3";
    QTest::newRow("signs 91 to 96") << "9" << true << QList<int>{91, 92, 93, 94, 95, 96} << "[\\]^_`" << 0
                                    << false << "9";
    QTest::newRow("arrows and Delete change nothing")
        << "3" << true << QList<int>{'A', 37, 39, Up, Down, 46, 'B'} << "ab" << 0 << false << "3";
    QTest::newRow("minimum no number: 5, and 0 for this key")
        << "x" << true << QList<int>{'H', 'E'} << "he" << 1 << true << "5";
    QTest::newRow("minimum beyond 16 bits: 0, text kept")
        << "40000" << true << QList<int>{'H'} << "h" << 1 << true << "40000";
    QTest::newRow("minimum rounds half to even down")
        << "2.5" << true << QList<int>{'H', 'E'} << "he" << 1 << true << "2.5";
    QTest::newRow("minimum rounds half to even up") << "3.5" << true << hel << "hel" << 0 << false << "3.5";
    QTest::newRow("minimum with blanks")
        << " 2 " << true << QList<int>{'H', 'E'} << "he" << 1 << true << " 2 ";
    QTest::newRow("switched off: no lookup, buffer kept")
        << "3" << false << hel << "hel" << 0 << false << "3";
}

void TestCompletionEngine::wordBuffer() {
    QFETCH(QString, minimum);
    QFETCH(bool, enabled);
    QFETCH(QList<int>, keys);
    QFETCH(QString, buffer);
    QFETCH(int, lookups);
    QFETCH(bool, visible);
    QFETCH(QString, minimumAfter);

    Rig rig;
    rig.Text9.setText(minimum);
    rig.Check1.setChecked(enabled);
    for (const int key : keys)
        QCOMPARE(rig.press(key), std::int16_t(0));
    QCOMPARE(rig.Text5.text(), buffer);
    QCOMPARE(rig.words->statements.size(), lookups);
    QCOMPARE(rig.form2().isVisible(), visible);
    QCOMPARE(rig.Text9.text(), minimumAfter);
    QCOMPARE(rig.hook.decisions().size(), size_t(keys.size()));
}

void TestCompletionEngine::keyDisplay_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("character");
    QTest::newRow("letter") << int('A') << "a 65"
                            << "a";
    QTest::newRow("Enter") << int(Enter) << " 13"
                           << "";
    QTest::newRow("keypad 1") << 97 << "a 97"
                              << "a";
    QTest::newRow("F11") << 122 << " 122"
                         << "";
    QTest::newRow("underscore") << 95 << "_ 95"
                                << "_";
}

void TestCompletionEngine::keyDisplay() {
    QFETCH(int, key);
    QFETCH(QString, display);
    QFETCH(QString, character);
    Rig rig;
    rig.press(key);
    QCOMPARE(rig.Label1.text(), display);
    QCOMPARE(rig.Text1.text(), character);
}

void TestCompletionEngine::minimumLengthToAddKeptNumeric_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("after");
    QTest::newRow("number kept") << "7"
                                 << "7";
    QTest::newRow("fraction kept") << "2.5"
                                   << "2.5";
    QTest::newRow("letters repaired") << "abc"
                                      << "4";
    QTest::newRow("empty repaired") << ""
                                    << "4";
}

void TestCompletionEngine::minimumLengthToAddKeptNumeric() {
    QFETCH(QString, text);
    QFETCH(QString, after);
    Rig rig;
    rig.Text8.setText(text);
    rig.press('1');
    QCOMPARE(rig.Text8.text(), after);
}

void TestCompletionEngine::popupCreatedOnFirstKey() {
    Rig rig;
    QVERIFY(!rig.engine->existingPopup());
    rig.press('1');
    QVERIFY(rig.engine->existingPopup());
    QVERIFY(!rig.engine->existingPopup()->isVisible());
}

void TestCompletionEngine::lookupFillsSortedList() {
    Rig rig;
    rig.type("hel");
    QCOMPARE(rig.words->statements, QStringList{"select  top 15 Text1 from words where Text1  like 'hel%' "});
    QCOMPARE(rig.rows(), (QStringList{"helix", "hello", "helmet", "help"}));
    QCOMPARE(rig.form2().selectedRow(), 0);
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("helix"));
    QVERIFY(rig.form2().isVisible());
    QCOMPARE(rig.form2().heightTwips(), 1000 + 4 * 200);
    QCOMPARE(rig.form2().listHeightTwips(), 1200 + 4 * 200);
}

void TestCompletionEngine::wordCountLimitsRows() {
    Rig rig;
    rig.Text4.setText(" 3 ");
    rig.type("hel");
    QCOMPARE(rig.form2().rowCount(), 3);
    QCOMPARE(rig.form2().selectedRow(), 0);
    QCOMPARE(rig.form2().currentSuggestion(), rig.form2().rowText(0));
    QCOMPARE(rig.form2().heightTwips(), 1600);
    QCOMPARE(rig.form2().listHeightTwips(), 1800);
}

void TestCompletionEngine::wordCountThatIsNoNumberOffersNothing() {
    Rig rig;
    rig.type("hel");
    QVERIFY(rig.form2().isVisible());
    rig.Text4.setText("abc");
    rig.type("p");
    QVERIFY(!rig.form2().isVisible());
    QCOMPARE(rig.form2().rowCount(), 0);
    QCOMPARE(rig.words->statements.size(), 1);
    QCOMPARE(rig.Text4.text(), QStringLiteral("abc"));
}

void TestCompletionEngine::noMatchHidesButKeepsSuggestion() {
    Rig rig;
    rig.type("hel");
    rig.type("q");
    QVERIFY(!rig.form2().isVisible());
    QCOMPARE(rig.form2().rowCount(), 0);
    QCOMPARE(rig.form2().heightTwips(), 1000);
    QCOMPARE(rig.form2().listHeightTwips(), 1200 + 4 * 200);
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("helix"));
    QCOMPARE(rig.press(Tab), std::int16_t(0));
    QCOMPARE(rig.injector.shiftInserts, 0);
}

void TestCompletionEngine::wordKindFilters_data() {
    QTest::addColumn<bool>("useDefault");
    QTest::addColumn<bool>("useCustom");
    QTest::addColumn<QStringList>("offered");
    // hello and help are default words with a NULL kind, helmet one with an empty kind,
    // helix a custom word.
    QTest::newRow("both") << true << true << QStringList{"helix", "hello", "helmet", "help"};
    QTest::newRow("custom only") << false << true << QStringList{"helix", "helmet"};
    QTest::newRow("default only") << true << false << QStringList{"hello", "helmet", "help"};
    QTest::newRow("neither") << false << false << QStringList{"helmet"};
}

void TestCompletionEngine::wordKindFilters() {
    QFETCH(bool, useDefault);
    QFETCH(bool, useCustom);
    QFETCH(QStringList, offered);
    Rig rig;
    rig.Check5.setChecked(useDefault);
    rig.Check4.setChecked(useCustom);
    rig.type("hel");
    QCOMPARE(rig.rows(), offered);
}

void TestCompletionEngine::signsMatchThemselves_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("underscore") << QList<int>{'A', 95} << QStringList{"a_b"};
    QTest::newRow("backslash") << QList<int>{'A', 92} << QStringList{"a\\b"};
}

void TestCompletionEngine::signsMatchThemselves() {
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, offered);
    Rig rig;
    rig.Text9.setText("2");
    for (const int key : keys)
        rig.press(key);
    QCOMPARE(rig.rows(), offered);
}

void TestCompletionEngine::apostropheInBufferBecomesBlank() {
    Rig rig;
    rig.Text9.setText("1");
    rig.type("o");
    QCOMPARE(rig.rows(), QStringList{"o'clock"});
    rig.Text5.setText("o'");
    rig.type("c");
    QCOMPARE(rig.Text5.text(), QStringLiteral("o c"));
    QVERIFY(rig.words->statements.last().contains("like 'o c%'"));
    QVERIFY(!rig.form2().isVisible());
}

void TestCompletionEngine::closedConnectionReopened() {
    Rig rig;
    rig.words->close();
    rig.type("hel");
    QCOMPARE(rig.words->opens, 1);
    QCOMPARE(rig.form2().rowCount(), 4);
}

void TestCompletionEngine::completesFirstWord() {
    Rig rig;
    rig.type("hel");
    QCOMPARE(rig.press(Tab), std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QStringLiteral("ix"));
    QVERIFY(rig.clipboard.clears >= 1);
    QCOMPARE(rig.injector.shiftInserts, 1);
    QCOMPARE(rig.Text5.text(), QString());
    QCOMPARE(rig.form2().currentSuggestion(), QString());
    QVERIFY(!rig.form2().isVisible());
}

void TestCompletionEngine::downThenCompleteInsertsSecond() {
    Rig rig;
    rig.type("hel");
    QCOMPARE(rig.press(Down), std::int16_t(1));
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("hello"));
    QCOMPARE(rig.press(Tab), std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QStringLiteral("lo"));
    QCOMPARE(rig.injector.shiftInserts, 1);
}

void TestCompletionEngine::arrowsAtTheEndsPassThrough() {
    Rig rig;
    rig.type("hel");
    QCOMPARE(rig.press(Up), std::int16_t(0));
    QCOMPARE(rig.form2().selectedRow(), 0);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.press(Down), std::int16_t(1));
    QCOMPARE(rig.press(Down), std::int16_t(0));
    QCOMPARE(rig.form2().selectedRow(), 3);
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("help"));
    QCOMPARE(rig.Text5.text(), QStringLiteral("hel"));
}

void TestCompletionEngine::downAndUpAgain() {
    Rig rig;
    rig.type("pai");
    QCOMPARE(rig.rows(), (QStringList{"pair", "pairs"}));
    QCOMPARE(rig.press(Down), std::int16_t(1));
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("pairs"));
    QCOMPARE(rig.press(Up), std::int16_t(1));
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("pair"));
}

void TestCompletionEngine::completionKeyWhileHiddenEndsWord() {
    Rig rig;
    rig.type("hel");
    rig.press(Esc);
    QCOMPARE(rig.press(Tab), std::int16_t(0));
    QCOMPARE(rig.injector.shiftInserts, 0);
    QCOMPARE(rig.clipboard.clears, 0);
    QCOMPARE(rig.Text5.text(), QString());
}

void TestCompletionEngine::shiftAsCompletionKey() {
    Rig rig;
    rig.engine->setCompletionKeyCode(Shift);
    QCOMPARE(rig.engine->completionKeyCode(), std::int16_t(Shift));
    rig.type("mon");
    QCOMPARE(rig.press(Shift), std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QStringLiteral("day"));
    QCOMPARE(rig.injector.shiftInserts, 1);
    QCOMPARE(rig.Text5.text(), QString());
    // Tab is then an ordinary key.
    rig.type("hel");
    QCOMPARE(rig.press(Tab), std::int16_t(0));
    QCOMPARE(rig.injector.shiftInserts, 1);
}

void TestCompletionEngine::wordAlreadyComplete() {
    Rig rig;
    rig.type("abc");
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("abc"));
    rig.clipboard.text = "stale";
    QCOMPARE(rig.press(Tab), std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QString());
    QCOMPARE(rig.injector.shiftInserts, 1);
}

void TestCompletionEngine::clipboardNotWritableSkipsPaste() {
    Rig rig;
    rig.clipboard.writable = false;
    rig.type("hel");
    QCOMPARE(rig.press(Tab), std::int16_t(1));
    QCOMPARE(rig.injector.shiftInserts, 0);
    QCOMPARE(rig.Text5.text(), QString());
    QVERIFY(!rig.form2().isVisible());
}

void TestCompletionEngine::switchedOffStillNavigatesVisiblePopup() {
    Rig rig;
    rig.type("hel");
    rig.Check1.setChecked(false);
    QCOMPARE(rig.press(Down), std::int16_t(1));
    rig.type("m"); // no lookup: the list stays as it was
    QCOMPARE(rig.words->statements.size(), 1);
    QCOMPARE(rig.press(Tab), std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QStringLiteral("o"));
}

void TestCompletionEngine::hookToldOfVisibility() {
    Rig rig;
    QVERIFY(!rig.hook.popupVisible());
    rig.type("hel");
    QVERIFY(rig.hook.popupVisible());
    rig.press(Esc);
    QVERIFY(!rig.hook.popupVisible());
    rig.type("p");
    QVERIFY(rig.hook.popupVisible());
    rig.form2().setHideInterval(10);
    QTRY_VERIFY(!rig.hook.popupVisible());
    rig.type("hel");
    rig.press(Tab);
    QVERIFY(!rig.hook.popupVisible());
}

void TestCompletionEngine::keysDuringLookupWaitTheirTurn() {
    Rig rig;
    rig.type("he");
    // Delivered from inside the lookup's first yield: handled inside, Down would act on a
    // list still being filled.
    std::vector<std::optional<std::int16_t>> answeredAtOnce;
    QMetaObject::invokeMethod(
        this,
        [&] {
            answeredAtOnce.push_back(rig.hook.press(Down));
            answeredAtOnce.push_back(rig.hook.press(Tab));
        },
        Qt::QueuedConnection);
    QCOMPARE(rig.press('L'), std::int16_t(0));
    QCOMPARE(answeredAtOnce.size(), size_t(2));
    QVERIFY(!answeredAtOnce[0] && !answeredAtOnce[1]);
    const std::vector<TestKeyboardHook::Decision>& decisions = rig.hook.decisions();
    QCOMPARE(decisions.size(), size_t(5));
    QCOMPARE(decisions[2].keyCode, int('L'));
    QCOMPARE(decisions[2].discard, std::int16_t(0));
    QCOMPARE(decisions[3].keyCode, Down);
    QCOMPARE(decisions[3].discard, std::int16_t(1));
    QCOMPARE(decisions[4].keyCode, Tab);
    QCOMPARE(decisions[4].discard, std::int16_t(1));
    QCOMPARE(rig.clipboard.text, QStringLiteral("lo"));
    QCOMPARE(rig.injector.shiftInserts, 1);
    QCOMPARE(rig.Text5.text(), QString());
}

QTEST_MAIN(TestCompletionEngine)
#include "tst_completionengine.moc"
