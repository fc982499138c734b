// The key handling end to end: word buffer rules, lookup, navigation, completion, queued keys.
#include "enginerig.h"
#include "platform/keycodes.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
enum Option {
    SwitchedOff = 1,
    ShiftCompletes = 2,
    Unwritable = 4,
    CountNoNumber = 8,
    LateArrows = 16,
    LateCompletion = 32,
    NumberKeys = 64,
    // What the digit keys type instead of their digit: Shift's signs on a US layout, AZERTY's
    // unshifted top row, or nothing (a shortcut such as Ctrl+1).
    ShiftedDigits = 128,
    AzertyDigits = 256,
    DigitsTypeNothing = 512
};
// The text a top-row digit key types under those options.
std::string digitText(int key, int options) {
    const auto at = static_cast<std::size_t>(key - '1');
    if (options & ShiftedDigits)
        return std::string(1, "!@#$%^&*("[at]);
    if (options & AzertyDigits)
        return QString::fromUtf8("&é\"'(-è_ç").mid(qsizetype(at), 1).toStdString();
    return options & DigitsTypeNothing ? std::string() : std::string(1, char(key));
}
// hello and help have a NULL kind, helmet an empty one, helix is a custom word.
const std::vector<WordRow> rows{{"hello", {}}, {"help", {}}, {"helmet", ""}, {"helix", "1"}, {"o'clock", {}},
                                {"a_b", {}},   {"axb", {}},  {"a\\b", {}},   {"Monday", {}}, {"abc", {}}};
} // namespace

class TestCompletionEngine : public QObject {
    Q_OBJECT
private slots:
    void keys_data() {
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<int>("options");
        const auto row = [](const char* name, const Keys& keys, const char* outcome,
                            const char* minimum = "3", int options = 0) {
            QTest::newRow(name) << keys << QString(outcome) << QString(minimum) << options;
        };
        // Outcome: each key's decision|the word|lookups run|Form2|the clipboard, which held "stale"|pastes.
        // Tab, Down (the last row's too), Space, a word no row begins with, Shift completing, Tab while
        // Shift completes and a digit picking its row or beyond the list are the desktop scenarios' rows.
        const Keys hel{'H', 'E', 'L'};
        row("keys outside 65-121, arrows, Shift add nothing",
            {Shift, 'A', 37, 39, Up, Down, 46, '1', 'B', 'C'}, "0000000000|abc|1|shown|stale|0");
        row("Backspace forgets the word", hel + Keys{Backspace}, "0000||1|hidden|stale|0");
        row("Enter ends the word", hel + Keys{Enter}, "0000||1|hidden|stale|0");
        row("Space with minimum 0 keeps the list", hel + Keys{Space}, "0000||3|shown|stale|0", "0");
        row("Esc hides, keeps the word for the next letter", hel + Keys{Esc, 'P'},
            "00000|help|2|shown|stale|0");
        row("minimum no number: 5, and 0 for this key", {'H', 'E'}, "00|he|1|shown|stale|0", "x");
        row("minimum beyond 16 bits counts 0", {'H'}, "0|h|1|shown|stale|0", "40000");
        row("minimum 3.5 rounds half to even up", hel, "000|hel|0|hidden|stale|0", "3.5");
        row("switched off: no lookup, buffer kept", hel, "000|hel|0|hidden|stale|0", "3", SwitchedOff);
        row("word count no number: no lookup", hel, "000|hel|0|hidden|stale|0", "3", CountNoNumber);
        // hel offers helix, hello, helmet, help.
        row("Up on the first row passes", hel + Keys{Up, Tab}, "00001||1|hidden|ix|1");
        row("Down and Up again", hel + Keys{Down, Up, Tab}, "000111||1|hidden|ix|1");
        row("hidden list: keys pass, Tab ends the word", hel + Keys{Esc, Down, Up, Tab},
            "0000000||1|hidden|stale|0");
        row("word already complete: empty paste", {'A', 'B', 'C', Tab}, "0001||1|hidden||1");
        row("clipboard not writable: no paste", hel + Keys{Tab}, "0001||1|hidden|stale|0", "3", Unwritable);
        // The hook let the key through before the answer: the key was passed, so it is not acted on.
        row("late Tab: passed, no paste, word ended", hel + Keys{Tab}, "0000||1|hidden|stale|0", "3",
            LateCompletion);
        row("late Shift: passed, no paste, list stays", {'M', 'O', 'N', Shift}, "0000|mon|1|shown|stale|0",
            "3", ShiftCompletes | LateCompletion);
        row("late Down: the selection stays", hel + Keys{Down, Tab}, "00001||1|hidden|ix|1", "3", LateArrows);
        row("number keys: 1 is the first shown row, whatever is selected", hel + Keys{Down, '1'},
            "00011||1|hidden|ix|1", "3", NumberKeys);
        row("number keys: hidden list, a digit passes", hel + Keys{Esc, '1'}, "00000|hel|1|hidden|stale|0",
            "3", NumberKeys);
        row("number keys off: a digit passes", hel + Keys{'1'}, "0000|hel|1|shown|stale|0");
        row("number keys: Shift+1 typed ! and passes", hel + Keys{'1'}, "0000|hel|1|shown|stale|0", "3",
            NumberKeys | ShiftedDigits);
        row("number keys: AZERTY's é on the 2 key is a letter", hel + Keys{'2'}, "0000|helé|2|hidden|stale|0",
            "3", NumberKeys | AzertyDigits);
        row("number keys: a digit that typed nothing passes", hel + Keys{'1'}, "0000|hel|1|shown|stale|0",
            "3", NumberKeys | DigitsTypeNothing);
        row("number keys: Down and Tab as before", hel + Keys{Down, Tab}, "00011||1|hidden|lo|1", "3",
            NumberKeys);
        row("number keys: a late digit passed, no paste", hel + Keys{'2'}, "0000|hel|1|shown|stale|0", "3",
            NumberKeys | LateCompletion);
    }
    void keys() {
        QFETCH(Keys, keys);
        QFETCH(int, options);
        QFETCH(QString, minimum);
        EngineRig rig(rows);
        rig.clipboard.text = "stale";
        rig.set([&](EngineSettings& settings) {
            settings.Text9 = minimum;
            settings.Check1 = options & SwitchedOff ? Qt::Unchecked : Qt::Checked;
            if (options & CountNoNumber)
                settings.Text4 = "abc";
        });
        QSignalSpy repaired(&rig.engine, &CompletionEngine::settingsRepaired);
        rig.engine.setCompletionKeyCode(options & ShiftCompletes ? Shift : Tab);
        if (options & Unwritable)
            rig.clipboard.placement = Clipboard::Placement::Failed;
        std::set<int> late;
        if (options & LateArrows)
            late.insert({Up, Down});
        if (options & LateCompletion)
            late.insert({Tab, Shift, '2'});
        rig.engine.setRankingOptions({.pickWithNumberKeys = bool(options & NumberKeys)});
        QCOMPARE(rig.hook.numberKeys, bool(options & NumberKeys));
        rig.hook.setLateKeys(late);
        QString decisions;
        for (const int key : keys) {
            if (KeyCode::pickedRow(key) >= 0) {
                const std::optional<std::int16_t> discard =
                    rig.hook.pressTyping(key, digitText(key, options));
                decisions += discard ? QString::number(*discard) : "?";
            } else {
                decisions += rig.press(Keys{key});
            }
            QCOMPARE(rig.hook.popupVisible(), rig.form2().isShown()); // the hook is told of every change
        }
        QTEST(QStringList({decisions, rig.Text5(), QString::number(rig.words.statements.size()),
                           rig.form2().isShown() ? "shown" : "hidden", rig.clipboard.text,
                           QString::number(rig.injector.shiftInserts)})
                  .join('|'),
              "outcome");
        QCOMPARE(rig.engine.settings().Text9, minimum == "x" ? "5" : minimum); // only no number is repaired
        QCOMPARE(repaired.size(), minimum == "x" ? 1 : 0);
        QCOMPARE(rig.engine.settings().Text4, options & CountNoNumber ? "abc" : "15");
        if (rig.injector.shiftInserts)
            QCOMPARE(rig.form2().currentSuggestion(), QString());
    }

    void keyControls_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("lengthToAdd");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("lengthToAddAfter");
        const auto row = [](const char* name, int key, const char* lengthToAdd, const char* display,
                            const char* after) {
            QTest::newRow(name) << key << QString(lengthToAdd) << QString(display) << QString(after);
        };
        row("letter, lower-cased", 'A', "7", "a 65", "7");
        row("keypad 1 adds a", 97, "2.5", "a 97", "2.5");
        row("F10 adds y", 121, "4", "y 121", "4");
        row("F11 adds nothing, empty length repaired", 122, "", " 122", "4");
        row("Enter, length to add repaired", Enter, "abc", " 13", "4");
    }
    void keyControls() {
        QFETCH(int, key);
        QFETCH(QString, lengthToAdd);
        QFETCH(QString, display);
        EngineRig rig(rows);
        rig.set([&](EngineSettings& settings) { settings.Text8 = lengthToAdd; });
        rig.press(Keys{key});
        const QString character = display.left(display.lastIndexOf(' '));
        QCOMPARE(rig.engine.typing().Label1, display);
        QCOMPARE(rig.engine.typing().Text1, character);
        QCOMPARE(rig.Text5(), character);
        QTEST(rig.engine.settings().Text8, "lengthToAddAfter");
        QVERIFY(!rig.form2().isShown());
    }

    void offered_data() {
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("useCustom");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("custom only") << false << true << "hel" << QStringList{"helix", "helmet"};
        QTest::newRow("default only") << true << false << "hel" << QStringList{"hello", "helmet", "help"};
        QTest::newRow("neither") << false << false << "hel" << QStringList{"helmet"};
        QTest::newRow("underscore matches itself") << true << true << "a_b" << QStringList{"a_b"};
        QTest::newRow("backslash matches itself") << true << true << "a\\b" << QStringList{"a\\b"};
        QTest::newRow("word with an apostrophe") << true << true << "o" << QStringList{"o'clock"};
    }
    void offered() {
        QFETCH(bool, useDefault);
        QFETCH(bool, useCustom);
        QFETCH(QString, typed);
        EngineRig rig(rows);
        rig.words.close(); // reopened for the lookup
        rig.set([&](EngineSettings& settings) {
            settings.Text9 = "1";
            settings.Check5 = useDefault ? Qt::Checked : Qt::Unchecked;
            settings.Check4 = useCustom ? Qt::Checked : Qt::Unchecked;
        });
        rig.press(typed);
        QTEST(rig.form2().words(), "offered");
    }

    void switchedOffStillCompletesVisibleList() {
        EngineRig rig(rows);
        rig.press("hel");
        rig.set([](EngineSettings& settings) { settings.Check1 = Qt::Unchecked; });
        QCOMPARE(rig.press(Keys{Down}), "1");
        rig.press("m"); // no lookup: the list stays as it was
        QCOMPARE(rig.words.statements.size(), 1);
        QCOMPARE(rig.press(Keys{Tab}), "1");
        QCOMPARE(rig.clipboard.text, QStringLiteral("o"));
    }

    void keysWhileShowingWaitTheirTurn() {
        EngineRig rig(rows);
        rig.press("he");
        // Showing a window may run waiting events first (it does on Windows): keys arriving there
        // are handled after the key that showed it, else Down would act on a list being filled.
        std::vector<std::optional<std::int16_t>> answeredAtOnce;
        connect(&rig.form2(), &SuggestionList::shownChanged, this, [&](bool shown) {
            if (shown && answeredAtOnce.empty())
                answeredAtOnce = {rig.hook.press(Down), rig.hook.press(Tab)};
        });
        QCOMPARE(rig.press("l"), "0");
        QCOMPARE(answeredAtOnce, (std::vector<std::optional<std::int16_t>>{std::nullopt, std::nullopt}));
        QList<std::pair<int, int>> decided;
        for (const TestKeyboardHook::Decision& decision : rig.hook.decisions())
            decided.append({decision.keyCode, decision.discard});
        QCOMPARE(decided, (QList<std::pair<int, int>>{{'H', 0}, {'E', 0}, {'L', 0}, {Down, 1}, {Tab, 1}}));
        QCOMPARE(rig.clipboard.text, QStringLiteral("lo"));
        QCOMPARE(rig.injector.shiftInserts, 1);
        QCOMPARE(rig.Text5(), QString());
    }

    void inputMethodRoute() {
        EngineRig rig(rows);
        rig.injector.commits = true;
        rig.clipboard.text = "stale";
        rig.press("hel");
        // Offering the words at the caret, with the row Down picked, is e2e_ibus's lookup table.
        QCOMPARE(rig.press(Keys{Down}), "1");
        QCOMPARE(rig.press(Keys{Tab}), "1");
        QCOMPARE(rig.injector.committed, (std::vector<std::string>{"lo"}));
        QCOMPARE(rig.clipboard.text, QStringLiteral("stale"));
        QCOMPARE(rig.injector.shiftInserts, 0);
        QVERIFY(!rig.form2().isShown());
        QCOMPARE(rig.Text5(), QString());
    }
};

QTEST_MAIN(TestCompletionEngine)
#include "tst_completionengine.moc"
