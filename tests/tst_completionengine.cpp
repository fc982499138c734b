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
    int press(int keyCode) { return hook.press(keyCode).value_or(-1); }
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
    void keyControls_data();
    void keyControls();
    void lookupFillsSortedList();
    void wordCountLimitsRows();
    void offered_data();
    void offered();
    void offersNothing_data();
    void offersNothing();
    void apostropheInBufferBecomesBlank();
    void closedConnectionReopened();
    void navigation_data();
    void navigation();
    void completion_data();
    void completion();
    void switchedOffStillCompletesVisibleList();
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
        QCOMPARE(rig.press(key), 0);
    QCOMPARE(rig.Text5.text(), buffer);
    QCOMPARE(rig.words->statements.size(), lookups);
    QCOMPARE(rig.form2().isVisible(), visible);
    QCOMPARE(rig.Text9.text(), minimumAfter);
    QCOMPARE(rig.hook.decisions().size(), size_t(keys.size()));
}

void TestCompletionEngine::keyControls_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("lengthToAdd");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("lengthToAddAfter");
    QTest::newRow("letter") << int('A') << "7"
                            << "a 65"
                            << "a"
                            << "7";
    QTest::newRow("Enter, length to add repaired") << int(Enter) << "abc"
                                                   << " 13"
                                                   << ""
                                                   << "4";
    QTest::newRow("keypad 1") << 97 << "2.5"
                              << "a 97"
                              << "a"
                              << "2.5";
    QTest::newRow("F11, empty length to add") << 122 << ""
                                              << " 122"
                                              << ""
                                              << "4";
    QTest::newRow("underscore") << 95 << " 4 "
                                << "_ 95"
                                << "_"
                                << " 4 ";
}

void TestCompletionEngine::keyControls() {
    QFETCH(int, key);
    QFETCH(QString, lengthToAdd);
    QFETCH(QString, display);
    QFETCH(QString, character);
    QFETCH(QString, lengthToAddAfter);
    Rig rig;
    rig.Text8.setText(lengthToAdd);
    QVERIFY(!rig.engine->existingPopup());
    rig.press(key);
    QCOMPARE(rig.Label1.text(), display);
    QCOMPARE(rig.Text1.text(), character);
    QCOMPARE(rig.Text8.text(), lengthToAddAfter);
    QVERIFY(rig.engine->existingPopup()); // created, hidden, by the first key
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
    QCOMPARE(rig.form2().height(), 120); // applied once the list is filled
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

void TestCompletionEngine::offered_data() {
    QTest::addColumn<bool>("useDefault");
    QTest::addColumn<bool>("useCustom");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QStringList>("offered");
    // hello and help are default words with a NULL kind, helmet one with an empty kind,
    // helix a custom word.
    const QList<int> hel{'H', 'E', 'L'};
    QTest::newRow("both kinds") << true << true << hel << QStringList{"helix", "hello", "helmet", "help"};
    QTest::newRow("custom only") << false << true << hel << QStringList{"helix", "helmet"};
    QTest::newRow("default only") << true << false << hel << QStringList{"hello", "helmet", "help"};
    QTest::newRow("neither") << false << false << hel << QStringList{"helmet"};
    QTest::newRow("underscore matches itself")
        << true << true << QList<int>{'A', 95, 'B'} << QStringList{"a_b"};
    QTest::newRow("backslash matches itself")
        << true << true << QList<int>{'A', 92, 'B'} << QStringList{"a\\b"};
}

void TestCompletionEngine::offered() {
    QFETCH(bool, useDefault);
    QFETCH(bool, useCustom);
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, offered);
    Rig rig;
    rig.Check5.setChecked(useDefault);
    rig.Check4.setChecked(useCustom);
    for (const int key : keys)
        rig.press(key);
    QCOMPARE(rig.rows(), offered);
}

void TestCompletionEngine::offersNothing_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("statements");
    QTest::newRow("no word matches") << "15" << 2;
    QTest::newRow("word count is no number") << "abc" << 1;
}

void TestCompletionEngine::offersNothing() {
    QFETCH(QString, count);
    QFETCH(int, statements);
    Rig rig;
    rig.type("hel");
    QVERIFY(rig.form2().isVisible());
    rig.Text4.setText(count);
    rig.type("q");
    QVERIFY(!rig.form2().isVisible());
    QCOMPARE(rig.words->statements.size(), statements);
    QCOMPARE(rig.form2().rowCount(), 0);
    QCOMPARE(rig.form2().heightTwips(), 1000);
    QCOMPARE(rig.form2().listHeightTwips(), 1200 + 4 * 200);
    QCOMPARE(rig.form2().currentSuggestion(), QStringLiteral("helix"));
    QCOMPARE(rig.Text4.text(), count);
    QCOMPARE(rig.press(Tab), 0);
    QCOMPARE(rig.injector.shiftInserts, 0);
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

void TestCompletionEngine::navigation_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<int>>("discards");
    QTest::addColumn<QString>("suggestion");
    // hel offers helix, hello, helmet, help; pai offers pair, pairs.
    QTest::newRow("Up on the first row passes") << "hel" << QList<int>{Up} << QList<int>{0} << "helix";
    QTest::newRow("Down to the last row, then passes")
        << "hel" << QList<int>{Down, Down, Down, Down} << QList<int>{1, 1, 1, 0} << "help";
    QTest::newRow("Down and Up again") << "pai" << QList<int>{Down, Up} << QList<int>{1, 1} << "pair";
    QTest::newRow("hidden list: arrows pass")
        << "hel" << QList<int>{Esc, Down, Up} << QList<int>{0, 0, 0} << "helix";
}

void TestCompletionEngine::navigation() {
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, discards);
    QFETCH(QString, suggestion);
    Rig rig;
    rig.type(typed);
    QList<int> decided;
    for (const int key : keys)
        decided.append(rig.press(key));
    QCOMPARE(decided, discards);
    QCOMPARE(rig.form2().currentSuggestion(), suggestion);
    QCOMPARE(rig.Text5.text(), typed);
}

void TestCompletionEngine::completion_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("completionKey");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("pastes");
    QTest::addColumn<int>("lastDiscard");
    QTest::newRow("first word") << "hel" << QList<int>{Tab} << Tab << true << "ix" << 1 << 1;
    QTest::newRow("second word after Down")
        << "hel" << QList<int>{Down, Tab} << Tab << true << "lo" << 1 << 1;
    QTest::newRow("Shift completes, case as typed")
        << "mon" << QList<int>{Shift} << Shift << true << "day" << 1 << 1;
    QTest::newRow("Tab is ordinary when Shift completes")
        << "hel" << QList<int>{Tab} << Shift << true << "stale" << 0 << 0;
    QTest::newRow("hidden list: Tab passes and ends the word")
        << "hel" << QList<int>{Esc, Tab} << Tab << true << "stale" << 0 << 0;
    QTest::newRow("word already complete: empty paste")
        << "abc" << QList<int>{Tab} << Tab << true << "" << 1 << 1;
    QTest::newRow("clipboard not writable: no paste")
        << "hel" << QList<int>{Tab} << Tab << false << "" << 0 << 1;
}

void TestCompletionEngine::completion() {
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(int, completionKey);
    QFETCH(bool, writable);
    QFETCH(QString, clipboard);
    QFETCH(int, pastes);
    QFETCH(int, lastDiscard);
    Rig rig;
    rig.engine->setCompletionKeyCode(std::int16_t(completionKey));
    QCOMPARE(rig.engine->completionKeyCode(), std::int16_t(completionKey));
    rig.clipboard.text = "stale";
    rig.clipboard.writable = writable;
    rig.type(typed);
    int discard = -1;
    for (const int key : keys)
        discard = rig.press(key);
    QCOMPARE(discard, lastDiscard);
    QCOMPARE(rig.clipboard.text, clipboard);
    QCOMPARE(rig.injector.shiftInserts, pastes);
    QCOMPARE(rig.Text5.text(), QString());
    QVERIFY(!rig.form2().isVisible());
    if (pastes)
        QCOMPARE(rig.form2().currentSuggestion(), QString());
}

void TestCompletionEngine::switchedOffStillCompletesVisibleList() {
    Rig rig;
    rig.type("hel");
    rig.Check1.setChecked(false);
    QCOMPARE(rig.press(Down), 1);
    rig.type("m"); // no lookup: the list stays as it was
    QCOMPARE(rig.words->statements.size(), 1);
    QCOMPARE(rig.press(Tab), 1);
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
    QCOMPARE(rig.press('L'), 0);
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
