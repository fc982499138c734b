// The IBus engine's bounded key decisions: the engine thread's side runs on a thread of its own, the
// test plays the UI thread. Its fields, through the sequences desktops drive an engine through.
#include "platform/ibus/ibuskeydecisions.h"

#include <QTest>

#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {
// Long enough never to expire on a loaded machine: these cases are about who answers, not when.
constexpr auto answeredInTime = 30s;

using Kind = IBusFields::KeyKind;
constexpr IBusFields::Clock::time_point start{};
constexpr auto burstGap = 8ms;
constexpr auto burstPause = 100ms;
constexpr auto settle = 50ms;
constexpr auto reportBound = 250ms;

std::future<IBusKeyDecisions::Outcome> awaitOnEngineThread(IBusKeyDecisions& decisions, std::uint64_t press,
                                                           std::chrono::milliseconds deadline,
                                                           bool completes = true) {
    return std::async(std::launch::async, [&decisions, press, deadline, completes] {
        return decisions.await(press, deadline, completes);
    });
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
        const IBusKeyDecisions::Arrival key = decisions.arrive(maySwallow);
        QTEST(key.held, "held");
        // A key passed at once is too late to swallow and has nothing to commit: never both.
        QCOMPARE(decisions.decide(key.press, true), key.held);
        QCOMPARE(decisions.commit("lo"), key.held);
    }

    // A key passed goes at once, a swallowed one once its handling commits or is over. Swallowed, but its
    // handling runs late: a completion key goes through rather than be lost without its text; a key that
    // only moves the selection stays swallowed. Not answered in time (the UI thread is busy), the key goes
    // through and the late answer says so.
    void answered_data() {
        QTest::addColumn<bool>("discard");
        QTest::addColumn<QString>("handling"); // "over", "commits" (ra), "late" or "unanswered"
        QTest::addColumn<bool>("completes");
        QTest::addColumn<bool>("swallowed");
        QTest::newRow("passed") << false << "over" << true << false;
        QTest::newRow("swallowed, handling over") << true << "over" << true << true;
        QTest::newRow("swallowed, then completed") << true << "commits" << true << true;
        QTest::newRow("Tab swallowed, handling late") << true << "late" << true << false;
        QTest::newRow("Down swallowed, handling late") << true << "late" << false << true;
        QTest::newRow("Tab not answered in time") << true << "unanswered" << true << false;
    }
    void answered() {
        QFETCH(bool, discard);
        QFETCH(QString, handling);
        QFETCH(bool, completes);
        IBusKeyDecisions decisions;
        decisions.setPopupVisible(true);
        const IBusKeyDecisions::Arrival letter = decisions.arrive(false);
        const IBusKeyDecisions::Arrival key = decisions.arrive(true);
        const bool unanswered = handling == "unanswered";
        const bool late = handling == "late" || unanswered;
        auto outcome = awaitOnEngineThread(decisions, key.press, late ? 50ms : answeredInTime, completes);
        QVERIFY(decisions.decide(letter.press, false));
        if (unanswered)
            outcome.wait();
        QCOMPARE(decisions.decide(key.press, discard), !unanswered);
        if (!late) {
            // Answered, but a swallowed key's answer waits for what its handling commits.
            QCOMPARE(outcome.wait_for(discard ? 20ms : answeredInTime) == std::future_status::ready,
                     !discard);
            if (handling == "commits")
                QVERIFY(decisions.commit("ra"));
            else
                decisions.finish(key.press);
        }
        const IBusKeyDecisions::Outcome answer = outcome.get();
        QTEST(answer.swallow, "swallowed");
        QCOMPARE(answer.commit, handling == "commits" ? std::string("ra") : std::string());
        // Text that comes after the answer is dropped: never both.
        QVERIFY(!decisions.commit("ra"));
        // The next held key is decided on its own.
        const IBusKeyDecisions::Arrival down = decisions.arrive(true);
        auto next = awaitOnEngineThread(decisions, down.press, answeredInTime, false);
        QVERIFY(decisions.decide(down.press, true));
        decisions.finish(down.press);
        QVERIFY(next.get().swallow);
    }

    // GNOME switches to the plain layout in password fields: the engine told "password" goes, and the
    // one made when the user comes back hears of no purpose, IBus telling only changes.
    void completionComesBackAfterAPasswordField() {
        IBusFields fields(burstGap, burstPause, settle, reportBound);
        fields.created(1);
        fields.focusIn(1, false);
        fields.contentType(1, true);
        QVERIFY(!fields.looksAt(1));
        fields.focusOut(1);
        fields.destroyed(1);
        QVERIFY(!fields.looksAt(1));
        fields.created(2);
        fields.focusIn(2, false);
        QVERIFY(fields.looksAt(2));
        // With Quenlo the only source the engine stays, and the field's purpose comes with the focus.
        fields.contentType(2, true);
        fields.focusOut(2);
        fields.focusIn(2, true);
        QVERIFY(!fields.looksAt(2));
        fields.contentType(2, false);
        QVERIFY(fields.looksAt(2));
    }

    // Keys a program types at once are typed by the engine; a person's keys pass as typed. A commit
    // waits for the field to report the text typed last, the report ending the wait; behind a field that
    // does not report, going by the last text, or a key that types nothing, it keeps a settle.
    void burstsTravelWithTheCommits() {
        IBusFields fields(burstGap, burstPause, settle, reportBound);
        fields.created(1);
        fields.focusIn(1, false);
        QVERIFY(!fields.settle(1));
        QVERIFY(!fields.pressed(1, Kind::Text, start).typed);
        fields.passed(1, Kind::Text, start, 0);
        QVERIFY(fields.pressed(1, Kind::Text, start + 1ms).typed);
        QCOMPARE(fields.settle(1)->until, start + settle);
        const IBusFields::Press enter = fields.pressed(1, Kind::Other, start + 2ms);
        QVERIFY(enter.burst && !enter.typed);
        fields.passed(1, Kind::Other, start + 2ms, 1); // the letter was reported
        fields.passed(1, Kind::Modifier, start + 4ms, 2);
        QCOMPARE(fields.settle(1)->until, start + 2ms + settle);
        fields.committed(1, start + 1s, 2);
        QCOMPARE(fields.settle(1)->reportsSeen, 2u);
        QCOMPARE(fields.settle(1)->until, start + 1s + reportBound);
        fields.committed(1, start + 1s + reportBound, 2); // no report came for the first
        QCOMPARE(fields.settle(1)->until, start + 1s + reportBound + settle);
        QVERIFY(!fields.pressed(1, Kind::Text, start + 2s).burst); // a person again
        // The application composes a dead key with what follows: that burst passes its keys.
        fields.pressed(1, Kind::Compose, start + 2s + 1ms);
        fields.passed(1, Kind::Compose, start + 2s + 1ms, 1);
        QVERIFY(!fields.pressed(1, Kind::Text, start + 2s + 2ms).typed);
        QVERIFY(!fields.pressed(1, Kind::Text, start + 3s).typed);
        QVERIFY(fields.pressed(1, Kind::Text, start + 3s + 1ms).typed);
        // While the burst's text is held, a hiccup of the desktop does not end it; a pause does.
        fields.hold(1, "eb");
        QVERIFY(fields.pressed(1, Kind::Text, start + 3s + 50ms).typed);
        fields.hold(1, "ra ");
        QVERIFY(!fields.pressed(1, Kind::Text, start + 3s + 200ms).burst);
        // Another context's keys set no pace here.
        fields.created(2);
        fields.focusIn(2, false);
        QVERIFY(!fields.pressed(2, Kind::Text, start + 3s + 2ms).burst);
        // The text of a burst, completions included, goes out as one commit, once.
        QCOMPARE(fields.holding(), std::vector<IBusFields::Context>{1});
        QCOMPARE(fields.takeHeld(1), std::string("ebra "));
        QVERIFY(fields.takeHeld(1).empty() && fields.holding().empty());
    }

    // Reports come on the bus's thread, to an engine's object path, while a commit waits for them.
    void aReportEndsTheWaitOfACommit() {
        IBusFieldReports reports;
        reports.track("/engine/1", 1);
        reports.reported("/engine/2"); // not an engine of ours
        QCOMPARE(reports.count(1), 0u);
        // Its own bound lies beyond what the test waits: only the report can end it in time.
        auto waited = std::async(std::launch::async, [&reports] {
            reports.awaitBeyond(1, 0, IBusFieldReports::Clock::now() + 2 * answeredInTime);
        });
        std::this_thread::sleep_for(20ms); // so that the report mostly finds it waiting
        reports.reported("/engine/1");
        QCOMPARE(waited.wait_for(answeredInTime), std::future_status::ready);
        QCOMPARE(reports.count(1), 1u);
    }

    void swallowedPressesSwallowTheirReleases() {
        IBusFields fields(burstGap, burstPause, settle, reportBound);
        fields.created(1);
        fields.swallowed(1, 15);
        QVERIFY(!fields.released(1, 30));
        QVERIFY(fields.released(1, 15));
        QVERIFY(!fields.released(1, 15));
    }
};

QTEST_GUILESS_MAIN(TestIBusKeyDecisions)
#include "tst_ibuskeydecisions.moc"
