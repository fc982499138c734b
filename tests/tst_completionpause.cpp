// Pausing completion: which focus states pause it and why, the stored exclusion list, and the
// engine while paused (keys untouched, nothing kept or shown, no allocation on the key path).
#include "engine/completionpause.h"
#include "enginerig.h"

#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <new>

// Counts allocations, so that the key path can be shown to make none while paused. Not under
// AddressSanitizer, whose own operator new must pair with its own delete.
namespace {
std::atomic<long> allocations{0};
}
#ifndef __SANITIZE_ADDRESS__
#define QUENLO_COUNT_ALLOCATIONS
void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#endif

namespace {
const std::vector<WordRow> words{{"hello", {}}, {"help", {}}};

FocusState focusOn(const char* id, bool password = false, bool held = false) {
    FocusState state;
    state.application = {id, id, false};
    state.passwordField = password;
    state.keyboardHeld = held;
    return state;
}
FocusState asked(FocusState state) {
    state.fieldAsked = true;
    return state;
}
FocusState unknown(FocusState state) {
    state.fieldUnknown = true;
    return state;
}
} // namespace

Q_DECLARE_METATYPE(FocusState)

class TestCompletionPause : public QObject {
    Q_OBJECT
private slots:
    void pause_data() {
        QTest::addColumn<FocusState>("state");
        QTest::addColumn<bool>("protect");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("text");
        QTest::newRow("ordinary field") << focusOn("Gedit") << true << false << "";
        QTest::newRow("password field") << focusOn("Gedit", true) << true << true << "password field";
        QTest::newRow("password field, protection off") << focusOn("Gedit", true) << false << false << "";
        // Until a freshly focused field has told what it is, it may be a password field.
        QTest::newRow("field being asked") << asked(focusOn("Gedit")) << true << true << "";
        QTest::newRow("field being asked, protection off") << asked(focusOn("Gedit")) << false << false << "";
        QTest::newRow("field that did not say")
            << unknown(focusOn("Gedit")) << true << true
            << "the field did not say in time whether it is a password field";
        QTest::newRow("field that did not say, protection off")
            << unknown(focusOn("Gedit")) << false << false << "";
        QTest::newRow("held keyboard, even with protection off")
            << focusOn("Gedit", false, true) << false << true << "another program holds the keyboard";
        QTest::newRow("held keyboard before a password field")
            << focusOn("Gedit", true, true) << true << true << "another program holds the keyboard";
        QTest::newRow("excluded, named as stored")
            << focusOn("KeePassXC") << true << true << "excluded: KeePassXC";
        QTest::newRow("excluded, while its field is asked")
            << asked(focusOn("KeePassXC")) << true << true << "excluded: KeePassXC";
        QTest::newRow("excluded, letter case ignored")
            << focusOn("keepassxc") << true << true << "excluded: KeePassXC";
        QTest::newRow("a longer name is another application") << focusOn("KeePassXC2") << true << false << "";
        QTest::newRow("no application known matches no blank entry") << FocusState{} << true << false << "";
    }
    void pause() {
        QFETCH(FocusState, state);
        QFETCH(bool, protect);
        QFETCH(bool, paused);
        QFETCH(QString, text);
        const QList<ExcludedApplication> excluded{{"KeePassXC", "KeePassXC"}, {"", ""}};
        const CompletionPause pause = pauseFor(state, excluded, protect);
        QCOMPARE(pause.text(), text);
        QCOMPARE(pause.paused(), paused);
    }

    void storedList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("firstName");
        QTest::newRow("nothing stored") << "" << 0 << "";
        QTest::newRow("no list") << "KeePassXC" << 0 << "";
        QTest::newRow("an object, not a list") << R"({"id":"a"})" << 0 << "";
        QTest::newRow("a name alone stands for the id") << R"([{"name":"KeePassXC"}])" << 1 << "KeePassXC";
        QTest::newRow("blank entries are dropped") << R"([{"id":" ","name":""},{"id":"x"}])" << 1 << "x";
    }
    void storedList() {
        QFETCH(QString, text);
        QFETCH(int, entries);
        const QList<ExcludedApplication> read = excludedApplicationsFromText(text);
        QCOMPARE(read.size(), entries);
        if (entries) {
            QTEST(read.first().name, "firstName");
            QVERIFY(!read.first().id.isEmpty());
        }
        // What is written reads back the same, names with quotes and commas included.
        const QList<ExcludedApplication> list{{"Gcr-prompter", "Passwords, \"keys\""},
                                              {"KeePassXC", "KeePassXC"}};
        QCOMPARE(excludedApplicationsFromText(excludedApplicationsText(list)), list);
    }

    void pauseHidesPopupAndKeepsNothing() {
        EngineRig rig(words);
        rig.press("hel");
        QVERIFY(rig.form2().isShown() && rig.hook.popupVisible());
        const QStringList looked = rig.words.statements;
        const TypingState before = rig.engine.typing();
        rig.engine.setPaused(true);
        QVERIFY(!rig.form2().isShown());
        QVERIFY(!rig.hook.popupVisible());
        QCOMPARE(rig.Text5(), QString());
        QCOMPARE(rig.form2().rowCount(), 0);
        QCOMPARE(rig.form2().currentSuggestion(), QString());
        // Every key passes at once, and none is kept, shown or looked up.
        QCOMPARE(rig.press("hello") + rig.press(Keys{Tab}), QString("000000"));
        QCOMPARE(rig.Text5(), QString());
        QCOMPARE(rig.engine.typing().Text1 + rig.engine.typing().Label1, before.Text1 + before.Label1);
        QCOMPARE(rig.words.statements, looked);
        QVERIFY(!rig.form2().isShown());
        QCOMPARE(rig.injector.shiftInserts, 0);
        // That letters typed while paused are no part of the next word is e2e_privacy's.
    }

    void pausedKeyPathAllocatesNothing() {
#ifndef QUENLO_COUNT_ALLOCATIONS
        QSKIP("allocations are not counted under AddressSanitizer");
#endif
        EngineRig rig(words);
        rig.press("hel"); // everything the engine makes lazily exists now
        rig.engine.setPaused(true);
        int decided = 0;
        std::int16_t lastDiscard = -1;
        KeyDecision decide = [&decided, &lastDiscard](std::int16_t discard) {
            ++decided;
            lastDiscard = discard;
        };
        const std::vector<int> keys{'P', 'A', 'S', 'S', Tab, Down, Up, Shift};
        // Made before counting, as the hook makes them.
        std::vector<KeyDecision> decisions(keys.size(), decide);
        const long before = allocations.load();
        for (std::size_t i = 0; i < keys.size(); ++i)
            rig.engine.keyPressed(keys[i], std::move(decisions[i]));
        const long made = allocations.load() - before;
        QCOMPARE(made, 0L);
        QCOMPARE(decided, 8);
        QCOMPARE(lastDiscard, std::int16_t(0));
    }
};

QTEST_MAIN(TestCompletionPause)
#include "tst_completionpause.moc"
