// Pairing of watched and grabbed key presses: every press reported once, in the server's order.
#include "platform/x11/x11presspairing.h"

#include <QTest>

namespace {

constexpr unsigned kTab = 23;
constexpr unsigned kDown = 116;
constexpr unsigned kLetterA = 38;

using Kind = X11InputEvent::Kind;

X11InputEvent watched(unsigned keycode, unsigned long serial, bool injected = false) {
    return {.kind = Kind::WatchedPress, .keycode = keycode, .serial = serial, .injected = injected};
}

X11InputEvent grabbed(unsigned keycode, unsigned long serial, unsigned long time) {
    return {.kind = Kind::GrabbedPress, .keycode = keycode, .serial = serial, .time = time};
}

X11InputEvent locks(unsigned modifiers, unsigned long serial) {
    return {.kind = Kind::LockState, .serial = serial, .lockedModifiers = modifiers};
}

// One line per action: "report 23", "report 23 grab 500", "replay 500", "locks 16".
QStringList run(X11PressPairing& pairing, unsigned long settledBefore) {
    QStringList lines;
    while (const auto action = pairing.next(settledBefore)) {
        const unsigned long grab = action->grabTime.value_or(0);
        if (action->kind == X11PressAction::Kind::UpdateLocks)
            lines << QStringLiteral("locks %1").arg(action->event.lockedModifiers);
        else if (action->kind == X11PressAction::Kind::ReplayUnreported)
            lines << QStringLiteral("replay %1").arg(grab);
        else
            lines << QStringLiteral("report %1").arg(action->event.keycode) +
                         (action->grabTime ? QStringLiteral(" grab %1").arg(grab) : QString());
    }
    return lines;
}

} // namespace

class TestX11PressPairing : public QObject {
    Q_OBJECT

private slots:
    void orders_data() {
        QTest::addColumn<std::vector<X11InputEvent>>("events");
        QTest::addColumn<QStringList>("actions");

        QTest::newRow("grabbed press reported once, with its grab")
            << std::vector{watched(kLetterA, 1), watched(kTab, 1), grabbed(kTab, 1, 500)}
            << QStringList{"report 38", "report 23 grab 500"};
        QTest::newRow("lock change between the copies is kept in order")
            << std::vector{watched(kTab, 1), locks(16, 1), grabbed(kTab, 1, 500), watched(kLetterA, 2)}
            << QStringList{"report 23 grab 500", "locks 16", "report 38"};
        QTest::newRow("grabbed copy first")
            << std::vector{grabbed(kDown, 3, 700), watched(kDown, 3), watched(kLetterA, 3)}
            << QStringList{"report 116 grab 700", "report 38"};
        QTest::newRow("grabbed key pressed with a modifier: no grab, no twin")
            << std::vector{watched(kTab, 1), watched(kLetterA, 1)} << QStringList{"report 23", "report 38"};
        QTest::newRow("grabbed copy of an already reported press is only let through")
            << std::vector{grabbed(kTab, 2, 900), watched(kLetterA, 2)}
            << QStringList{"replay 900", "report 38"};
        QTest::newRow("own injected presses are not reported")
            << std::vector{watched(50, 1, true), watched(118, 1, true), watched(kLetterA, 2)}
            << QStringList{"report 38"};
        QTest::newRow("own injected press caught by a grab is let through unreported")
            << std::vector{watched(50, 1, true), grabbed(50, 1, 42), watched(kLetterA, 2)}
            << QStringList{"replay 42", "report 38"};
        QTest::newRow("grabbed copy first, of an injected press")
            << std::vector{grabbed(50, 1, 43), watched(50, 1, true)} << QStringList{"replay 43"};
        QTest::newRow("repeated grabbed key: each press paired with its own copy")
            << std::vector{watched(kDown, 1), grabbed(kDown, 1, 10), watched(kDown, 2), grabbed(kDown, 2, 20)}
            << QStringList{"report 116 grab 10", "report 116 grab 20"};
    }

    void orders() {
        QFETCH(std::vector<X11InputEvent>, events);
        QFETCH(QStringList, actions);

        X11PressPairing pairing;
        pairing.setGrabbedKeycodes({kTab, kDown, 50});
        for (const X11InputEvent& event : events)
            pairing.push(event);
        QCOMPARE(run(pairing, 100), actions);
        QVERIFY(pairing.empty());
        QVERIFY(!pairing.waitingForTwin());
    }

    void twinStillOnItsWay() {
        X11PressPairing pairing;
        pairing.setGrabbedKeycodes({kTab});
        pairing.push(watched(kLetterA, 5));
        pairing.push(watched(kTab, 5));

        // Nothing after the Tab is known yet: it waits, and reports nothing out of order meanwhile.
        QCOMPARE(run(pairing, 5), QStringList{"report 38"});
        QVERIFY(pairing.waitingForTwin());
        QVERIFY(!pairing.empty());

        pairing.push(grabbed(kTab, 5, 77));
        QCOMPARE(run(pairing, 5), QStringList{"report 23 grab 77"});
        QVERIFY(!pairing.waitingForTwin());

        // A round trip later (request 9 answered) the server has written everything sent before it.
        pairing.push(watched(kTab, 6));
        QCOMPARE(run(pairing, 6), QStringList{});
        QVERIFY(pairing.waitingForTwin());
        QCOMPARE(run(pairing, 9), QStringList{"report 23"});
        QVERIFY(pairing.empty());
    }

    void grabsDroppedWhileTwinQueued() {
        // The pop-up hid between the server's two copies of one press: reported once, then let through.
        X11PressPairing pairing;
        pairing.setGrabbedKeycodes({kTab});
        pairing.push(watched(kTab, 3));
        pairing.setGrabbedKeycodes({});
        pairing.push(grabbed(kTab, 3, 60));
        QCOMPARE(run(pairing, 3), QStringList{"report 23"});
        QVERIFY(pairing.waitingForTwin());
        QCOMPARE(run(pairing, 4), QStringList{"replay 60"});

        // With no grab held, a press never waits for a twin, settled or not.
        pairing.push(watched(kTab, 5));
        pairing.push(watched(kDown, 5));
        QCOMPARE(run(pairing, 0), (QStringList{"report 23", "report 116"}));
        QVERIFY(!pairing.waitingForTwin());
    }
};

QTEST_GUILESS_MAIN(TestX11PressPairing)
#include "tst_x11presspairing.moc"
