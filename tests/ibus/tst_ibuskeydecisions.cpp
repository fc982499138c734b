// The IBus engine's bounded key decisions: the engine thread's side runs on a thread of its own, the
// test plays the UI thread.
#include "platform/ibus/ibuskeydecisions.h"

#include <QTest>

#include <future>

using namespace std::chrono_literals;

namespace {
// Long enough never to expire on a loaded machine: these cases are about who answers, not when.
constexpr auto answeredInTime = 30s;

std::future<IBusKeyDecisions::Outcome> awaitOnEngineThread(IBusKeyDecisions& decisions, std::uint64_t press,
                                                           std::chrono::milliseconds deadline) {
    return std::async(std::launch::async,
                      [&decisions, press, deadline] { return decisions.await(press, deadline); });
}
} // namespace

class TestIBusKeyDecisions : public QObject {
    Q_OBJECT

private slots:
    void held_data() {
        QTest::addColumn<bool>("maySwallow");
        QTest::addColumn<bool>("popupVisible");
        QTest::addColumn<bool>("earlierUndecided");
        QTest::addColumn<bool>("held");
        QTest::newRow("ordinary key, pop-up up") << false << true << false << false;
        QTest::newRow("Tab, pop-up up") << true << true << false << true;
        QTest::newRow("Tab, pop-up down, nothing pending") << true << false << false << false;
        // "zeb" then Tab at once: the b may still bring the pop-up up.
        QTest::newRow("Tab, pop-up down, a letter not yet handled") << true << false << true << true;
    }
    void held() {
        QFETCH(bool, maySwallow);
        QFETCH(bool, popupVisible);
        QFETCH(bool, earlierUndecided);
        IBusKeyDecisions decisions;
        decisions.setPopupVisible(popupVisible);
        if (earlierUndecided)
            decisions.arrive(false);
        QTEST(decisions.arrive(maySwallow).held, "held");
    }

    void answeredBeforeTheDeadline_data() {
        QTest::addColumn<bool>("discard");
        QTest::addColumn<bool>("commit");
        QTest::newRow("swallowed") << true << false;
        QTest::newRow("passed") << false << false;
        QTest::newRow("completed, then swallowed") << true << true;
    }
    void answeredBeforeTheDeadline() {
        QFETCH(bool, discard);
        QFETCH(bool, commit);
        IBusKeyDecisions decisions;
        decisions.setPopupVisible(true);
        const IBusKeyDecisions::Arrival letter = decisions.arrive(false);
        const IBusKeyDecisions::Arrival tab = decisions.arrive(true);
        auto outcome = awaitOnEngineThread(decisions, tab.press, answeredInTime);
        decisions.decide(letter.press, false);
        if (commit)
            QVERIFY(decisions.commit("ra"));
        decisions.decide(tab.press, discard);
        const IBusKeyDecisions::Outcome answer = outcome.get();
        QCOMPARE(answer.swallow, discard);
        QCOMPARE(answer.commit, commit ? std::string("ra") : std::string());
    }

    // The fault case: the UI thread is busy; the key goes through and a late completion finds nothing.
    void passedWhenTheHandlerIsLate() {
        IBusKeyDecisions decisions;
        decisions.setPopupVisible(true);
        const IBusKeyDecisions::Arrival tab = decisions.arrive(true);
        const auto started = std::chrono::steady_clock::now();
        const IBusKeyDecisions::Outcome outcome = decisions.await(tab.press, 50ms);
        const auto waited = std::chrono::steady_clock::now() - started;
        QVERIFY(!outcome.swallow);
        QVERIFY(outcome.commit.empty());
        QVERIFY(waited >= 50ms);
        QVERIFY2(waited < 1s, "the key waited far beyond its deadline");
        QVERIFY(!decisions.commit("ra"));
        decisions.decide(tab.press, true);
        // The next held key is decided on its own.
        const IBusKeyDecisions::Arrival down = decisions.arrive(true);
        auto next = awaitOnEngineThread(decisions, down.press, answeredInTime);
        decisions.decide(down.press, true);
        QVERIFY(next.get().swallow);
    }

    void commitOnlyForTheHeldPressBeingDecided() {
        IBusKeyDecisions decisions;
        // A Tab passed at once (nothing pending, pop-up down) that the engine later completes.
        const IBusKeyDecisions::Arrival passed = decisions.arrive(true);
        QVERIFY(!passed.held);
        QVERIFY(!decisions.commit("lo"));
        // A held Tab behind an undecided letter: the completion of the letter's turn is not the Tab's.
        decisions.setPopupVisible(true);
        const IBusKeyDecisions::Arrival tab = decisions.arrive(true);
        auto outcome = awaitOnEngineThread(decisions, tab.press, answeredInTime);
        QVERIFY(!decisions.commit("lo"));
        decisions.decide(passed.press, true);
        QVERIFY(decisions.commit("lo"));
        decisions.decide(tab.press, true);
        QCOMPARE(outcome.get().commit, std::string("lo"));
    }
};

QTEST_GUILESS_MAIN(TestIBusKeyDecisions)
#include "tst_ibuskeydecisions.moc"
