// The X11 keyboard hook and injector on a private Xvfb server: what is reported, what the focused
// window receives, and that the keyboard never stays frozen.
#include "platform/backends.h"
#include "tests/x11/xvfbserver.h"

#include <QDeadlineTimer>
#include <QTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <optional>
#include <set>
#include <vector>

namespace {

// One key event that reached the test's focused window.
struct Received {
    bool press;
    unsigned long keysym;
    unsigned state;
    QString text;
};

constexpr unsigned kHeldModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

} // namespace

class TestX11KeyboardHook : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void backendChoice();
    void reportsEachPressOnce_data();
    void reportsEachPressOnce();
    void swallowing_data();
    void swallowing();
    void replayedShiftStillShifts();
    void lateAnswerHoldsTheKeysBehind();
    void watchdogLetsTheKeyThrough();
    void hidingThePopupDropsTheGrabs();
    void nestedPressesKeepTheirOrder();
    void injectedShiftInsert_data();
    void injectedShiftInsert();
    void completionWhileTheKeyIsHeld_data();
    void completionWhileTheKeyIsHeld();

private:
    enum class Policy { Answer, Defer };

    void start();
    KeyCode code(unsigned long keysym) const { return XKeysymToKeycode(m_driver, keysym); }
    void press(unsigned long keysym, bool down);
    void tap(unsigned long keysym);
    void pumpWindow();
    // Taps a sentinel key and waits until both the hook and the window have it: everything sent
    // before it has then been settled. The sentinel is taken off both records.
    void settle();
    std::vector<unsigned long> windowPresses() const;
    QString describe() const;
    void setLocks(unsigned locks);

    XvfbServer m_server;
    Display* m_driver = nullptr;
    Window m_window = 0;
    std::vector<Received> m_received;

    KeyboardBackends m_backends;
    Policy m_policy = Policy::Answer;
    std::set<int> m_discard; // keys the handler answers 1 for
    std::vector<int> m_reported;
    std::vector<KeyDecision> m_deferred;
    std::function<void(int)> m_onPress;
};

void TestX11KeyboardHook::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    m_driver = XOpenDisplay(m_server.display().toLatin1().constData());
    QVERIFY(m_driver);
    m_window = XCreateSimpleWindow(m_driver, DefaultRootWindow(m_driver), 100, 100, 200, 100, 0, 0, 0);
    XSelectInput(m_driver, m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(m_driver, m_window);
    for (XEvent event;
         XWindowEvent(m_driver, m_window, StructureNotifyMask, &event), event.type != MapNotify;) {
    }
    XSetInputFocus(m_driver, m_window, RevertToPointerRoot, CurrentTime);
    XSync(m_driver, False);
}

void TestX11KeyboardHook::cleanupTestCase() {
    if (m_driver)
        XCloseDisplay(m_driver);
}

void TestX11KeyboardHook::init() {
    m_policy = Policy::Answer;
    m_discard.clear();
    m_reported.clear();
    m_deferred.clear();
    m_onPress = nullptr;
    start();
    pumpWindow();
    m_received.clear();
}

void TestX11KeyboardHook::cleanup() {
    for (KeyDecision& decide : m_deferred)
        decide(0);
    m_deferred.clear();
    m_backends = {};
    setLocks(0);
}

void TestX11KeyboardHook::start() {
    m_backends = createKeyboardBackends({m_server.display().toStdString()});
    QVERIFY2(m_backends.problem.empty(), m_backends.problem.c_str());
    QCOMPARE(m_backends.hook->name(), std::string("X11"));
    QCOMPARE(m_backends.injector->name(), std::string("XTest"));
    std::string error;
    const bool started = m_backends.hook->start(
        [this](int keyCode, KeyDecision decide) {
            m_reported.push_back(keyCode);
            if (m_onPress)
                m_onPress(keyCode);
            if (m_policy == Policy::Defer)
                m_deferred.push_back(std::move(decide));
            else
                decide(m_discard.count(keyCode) ? 1 : 0);
        },
        error);
    QVERIFY2(started, error.c_str());
}

void TestX11KeyboardHook::press(unsigned long keysym, bool down) {
    XTestFakeKeyEvent(m_driver, code(keysym), down ? True : False, CurrentTime);
    XFlush(m_driver);
}

void TestX11KeyboardHook::tap(unsigned long keysym) {
    press(keysym, true);
    press(keysym, false);
}

void TestX11KeyboardHook::pumpWindow() {
    while (XPending(m_driver) > 0) {
        XEvent event;
        XNextEvent(m_driver, &event);
        if (event.type != KeyPress && event.type != KeyRelease)
            continue;
        char text[8] = {};
        KeySym looked = NoSymbol;
        const int length = XLookupString(&event.xkey, text, sizeof text - 1, &looked, nullptr);
        m_received.push_back({event.type == KeyPress,
                              XkbKeycodeToKeysym(m_driver, static_cast<KeyCode>(event.xkey.keycode), 0, 0),
                              event.xkey.state, QString::fromLatin1(text, length)});
    }
}

void TestX11KeyboardHook::settle() {
    const auto sentinelSeen = [this] {
        pumpWindow();
        const bool inWindow =
            !m_received.empty() && m_received.back().keysym == XK_F12 && !m_received.back().press;
        return inWindow && !m_reported.empty() && m_reported.back() == 123;
    };
    tap(XK_F12);
    QTRY_VERIFY2_WITH_TIMEOUT(sentinelSeen(), qPrintable(describe()), 10000);
    m_reported.pop_back();
    m_received.pop_back();
    m_received.pop_back();
}

std::vector<unsigned long> TestX11KeyboardHook::windowPresses() const {
    std::vector<unsigned long> presses;
    for (const Received& event : m_received) {
        if (event.press)
            presses.push_back(event.keysym);
    }
    return presses;
}

QString TestX11KeyboardHook::describe() const {
    QStringList window;
    for (const Received& event : m_received)
        window << QStringLiteral("%1%2/%3")
                      .arg(event.press ? "+" : "-", XKeysymToString(event.keysym))
                      .arg(event.state);
    QStringList reported;
    for (const int keyCode : m_reported)
        reported << QString::number(keyCode);
    return QStringLiteral("window: %1; reported: %2").arg(window.join(' '), reported.join(' '));
}

void TestX11KeyboardHook::setLocks(unsigned locks) {
    const unsigned numLock = XkbKeysymToModifiers(m_driver, XK_Num_Lock);
    XkbLockModifiers(m_driver, XkbUseCoreKbd, LockMask | numLock,
                     ((locks & LockMask) ? LockMask : 0) | ((locks & Mod2Mask) ? numLock : 0));
    XSync(m_driver, False);
}

void TestX11KeyboardHook::backendChoice() {
    // The server of this test: the real backends, no problem (checked by init()).
    QCOMPARE(m_backends.hook->name(), std::string("X11"));

    // A display that is not there: the program runs on with the null backends and says why.
    KeyboardBackends none = createKeyboardBackends({":9999"});
    QCOMPARE(none.hook->name(), std::string("none"));
    QCOMPARE(none.injector->name(), std::string("none"));
    QCOMPARE(QString::fromStdString(none.problem),
             QStringLiteral("the X display \":9999\" cannot be opened"));
    std::string error;
    QVERIFY(none.hook->start([](int, KeyDecision) {}, error));
    QVERIFY(!none.injector->sendShiftInsert());
}

void TestX11KeyboardHook::reportsEachPressOnce_data() {
    QTest::addColumn<bool>("popupVisible");
    QTest::addColumn<unsigned>("locks");
    QTest::addColumn<std::vector<unsigned long>>("keys");
    QTest::addColumn<std::vector<int>>("reported");

    QTest::newRow("letters, digits and signs")
        << false << 0u << std::vector<unsigned long>{XK_h, XK_e, XK_1, XK_semicolon, XK_bracketleft}
        << std::vector<int>{72, 69, 49, 186, 219};
    QTest::newRow("word-ending keys")
        << false << 0u << std::vector<unsigned long>{XK_space, XK_Return, XK_BackSpace, XK_Escape, XK_Tab}
        << std::vector<int>{32, 13, 8, 27, 9};
    QTest::newRow("function keys") << false << 0u << std::vector<unsigned long>{XK_F1, XK_F10, XK_F11}
                                   << std::vector<int>{112, 121, 122};
    QTest::newRow("grabbed keys while the pop-up is up")
        << true << 0u << std::vector<unsigned long>{XK_Tab, XK_Down, XK_Up, XK_Shift_L, XK_Shift_R, XK_a}
        << std::vector<int>{9, 40, 38, 16, 16, 65};
    QTest::newRow("grabbed keys with CapsLock and NumLock on")
        << true << unsigned(LockMask | Mod2Mask) << std::vector<unsigned long>{XK_Tab, XK_Down, XK_a}
        << std::vector<int>{9, 40, 65};
    QTest::newRow("keypad without NumLock")
        << false << 0u << std::vector<unsigned long>{XK_KP_End, XK_KP_Down, XK_KP_Enter}
        << std::vector<int>{35, 40, 13};
    QTest::newRow("keypad with NumLock")
        << false << unsigned(Mod2Mask) << std::vector<unsigned long>{XK_KP_End, XK_KP_Down, XK_KP_Enter}
        << std::vector<int>{97, 98, 13};
    QTest::newRow("keypad with NumLock, pop-up up")
        << true << unsigned(Mod2Mask) << std::vector<unsigned long>{XK_KP_End, XK_KP_Down}
        << std::vector<int>{97, 98};
}

void TestX11KeyboardHook::reportsEachPressOnce() {
    QFETCH(bool, popupVisible);
    QFETCH(unsigned, locks);
    QFETCH(std::vector<unsigned long>, keys);
    QFETCH(std::vector<int>, reported);

    setLocks(locks);
    settle();
    m_reported.clear();
    m_received.clear();
    m_backends.hook->setPopupVisible(popupVisible);
    for (const unsigned long keysym : keys)
        tap(keysym);
    settle();

    QCOMPARE(m_reported, reported);
    // Nothing answered 1, so every press and release reached the window.
    std::vector<unsigned long> expectedPresses = keys;
    QCOMPARE(windowPresses(), expectedPresses);
    QCOMPARE(m_received.size(), 2 * keys.size());
}

void TestX11KeyboardHook::swallowing_data() {
    QTest::addColumn<KeySym>("key");
    QTest::addColumn<bool>("popupVisible");
    QTest::addColumn<bool>("discard");
    QTest::addColumn<unsigned>("locks");
    QTest::addColumn<bool>("reachesWindow");

    QTest::newRow("Tab swallowed while the pop-up is up") << KeySym(XK_Tab) << true << true << 0u << false;
    QTest::newRow("Down swallowed") << KeySym(XK_Down) << true << true << 0u << false;
    QTest::newRow("Up swallowed") << KeySym(XK_Up) << true << true << 0u << false;
    QTest::newRow("left Shift swallowed") << KeySym(XK_Shift_L) << true << true << 0u << false;
    QTest::newRow("right Shift swallowed") << KeySym(XK_Shift_R) << true << true << 0u << false;
    QTest::newRow("keypad Down swallowed") << KeySym(XK_KP_Down) << true << true << 0u << false;
    QTest::newRow("Tab swallowed with CapsLock")
        << KeySym(XK_Tab) << true << true << unsigned(LockMask) << false;
    QTest::newRow("Tab swallowed with NumLock")
        << KeySym(XK_Tab) << true << true << unsigned(Mod2Mask) << false;
    QTest::newRow("Tab swallowed with both locks")
        << KeySym(XK_Tab) << true << true << unsigned(LockMask | Mod2Mask) << false;
    QTest::newRow("Tab let through when answered 0") << KeySym(XK_Tab) << true << false << 0u << true;
    QTest::newRow("Tab never swallowed while hidden") << KeySym(XK_Tab) << false << true << 0u << true;
    QTest::newRow("Down never swallowed while hidden") << KeySym(XK_Down) << false << true << 0u << true;
    QTest::newRow("a letter is never swallowed") << KeySym(XK_a) << true << true << 0u << true;
    QTest::newRow("Escape is never swallowed") << KeySym(XK_Escape) << true << true << 0u << true;
    QTest::newRow("keypad 2 with NumLock is never swallowed")
        << KeySym(XK_KP_Down) << true << true << unsigned(Mod2Mask) << true;
}

void TestX11KeyboardHook::swallowing() {
    QFETCH(KeySym, key);
    QFETCH(bool, popupVisible);
    QFETCH(bool, discard);
    QFETCH(unsigned, locks);
    QFETCH(bool, reachesWindow);

    setLocks(locks);
    settle();
    m_reported.clear();
    m_received.clear();
    m_backends.hook->setPopupVisible(popupVisible);
    if (discard)
        m_discard = {9, 16, 38, 40, 65, 27, 98};
    tap(key);
    settle();

    QCOMPARE(m_reported.size(), std::size_t(1));
    QCOMPARE(windowPresses(), reachesWindow ? std::vector<unsigned long>{key} : std::vector<unsigned long>{});
}

void TestX11KeyboardHook::replayedShiftStillShifts() {
    // Tab completes: a Shift for a capital letter is let through and must still shift the letter.
    m_backends.hook->setPopupVisible(true);
    press(XK_Shift_L, true);
    tap(XK_a);
    press(XK_Shift_L, false);
    settle();

    QCOMPARE(m_reported, (std::vector<int>{16, 65}));
    QCOMPARE(windowPresses(), (std::vector<unsigned long>{XK_Shift_L, XK_a}));
    QCOMPARE(m_received[1].text, QStringLiteral("A"));
    QCOMPARE(m_received[1].state & kHeldModifiers, unsigned(ShiftMask));
}

void TestX11KeyboardHook::lateAnswerHoldsTheKeysBehind() {
    m_backends.hook->setPopupVisible(true);
    m_policy = Policy::Defer;
    tap(XK_Tab);
    tap(XK_b);
    QTRY_COMPARE_WITH_TIMEOUT(m_reported.size(), std::size_t(1), 10000);
    // The driver's keys have reached the server; the keyboard waits for the answer.
    XSync(m_driver, False);
    pumpWindow();
    QVERIFY(windowPresses().empty());

    m_policy = Policy::Answer;
    std::vector<KeyDecision> answers = std::move(m_deferred);
    answers.front()(1);
    settle();
    QCOMPARE(m_reported, (std::vector<int>{9, 66}));
    QCOMPARE(windowPresses(), std::vector<unsigned long>{XK_b});
}

void TestX11KeyboardHook::watchdogLetsTheKeyThrough() {
    m_backends.hook->setPopupVisible(true);
    m_policy = Policy::Defer;
    tap(XK_Down);
    QTRY_VERIFY_WITH_TIMEOUT((pumpWindow(), !windowPresses().empty()), 10000);
    QCOMPARE(windowPresses(), std::vector<unsigned long>{XK_Down});

    // The answer that comes too late changes nothing, and the keyboard goes on working.
    m_policy = Policy::Answer;
    std::vector<KeyDecision> answers = std::move(m_deferred);
    answers.front()(1);
    tap(XK_c);
    settle();
    QCOMPARE(m_reported, (std::vector<int>{40, 67}));
    QCOMPARE(windowPresses(), (std::vector<unsigned long>{XK_Down, XK_c}));

    // Nor does an answer given after the hook is gone.
    m_policy = Policy::Defer;
    tap(XK_d);
    QTRY_COMPARE_WITH_TIMEOUT(m_deferred.size(), std::size_t(1), 10000);
    KeyDecision orphan = std::move(m_deferred.front());
    m_deferred.clear();
    m_backends = {};
    orphan(1);
}

void TestX11KeyboardHook::hidingThePopupDropsTheGrabs() {
    m_discard = {9, 40};
    m_backends.hook->setPopupVisible(true);
    m_backends.hook->setPopupVisible(false);
    tap(XK_Tab);
    tap(XK_Down);
    settle();
    QCOMPARE(m_reported, (std::vector<int>{9, 40}));
    QCOMPARE(windowPresses(), (std::vector<unsigned long>{XK_Tab, XK_Down}));
}

void TestX11KeyboardHook::nestedPressesKeepTheirOrder() {
    // The handler of the first key yields to the event loop, as the lookup does; the keys typed
    // meanwhile are reported inside it, in order, and once each.
    bool nested = false;
    m_onPress = [this, &nested](int keyCode) {
        if (keyCode != 65 || nested)
            return;
        nested = true;
        tap(XK_b);
        tap(XK_c);
        const QDeadlineTimer deadline(10000);
        while (m_reported.size() < 3 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    tap(XK_a);
    QTRY_COMPARE_WITH_TIMEOUT(m_reported.size(), std::size_t(3), 10000);
    settle();
    QCOMPARE(m_reported, (std::vector<int>{65, 66, 67}));
    QCOMPARE(windowPresses(), (std::vector<unsigned long>{XK_a, XK_b, XK_c}));
}

void TestX11KeyboardHook::injectedShiftInsert_data() {
    QTest::addColumn<KeySym>("held");
    QTest::addColumn<int>("heldReported");

    QTest::newRow("nothing held") << KeySym(0) << 0;
    QTest::newRow("Shift held") << KeySym(XK_Shift_L) << 16;
    QTest::newRow("Control held") << KeySym(XK_Control_L) << 17;
    QTest::newRow("Alt held") << KeySym(XK_Alt_L) << 18;
}

void TestX11KeyboardHook::injectedShiftInsert() {
    QFETCH(KeySym, held);
    QFETCH(int, heldReported);

    if (held) {
        press(held, true);
        settle();
        QCOMPARE(m_reported, std::vector<int>{heldReported});
        m_reported.clear();
        m_received.clear();
    }
    QVERIFY(m_backends.injector->sendShiftInsert());
    // The injector has a connection of its own: wait for its keys before the driver's next ones.
    const auto insertArrived = [this] {
        pumpWindow();
        const std::vector<unsigned long> presses = windowPresses();
        return std::find(presses.begin(), presses.end(), XK_Insert) != presses.end();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(insertArrived(), qPrintable(describe()), 10000);
    if (held)
        press(held, false);
    settle();

    // The injected keys are not reported, and the window sees exactly Shift+Insert.
    QCOMPARE(m_reported, std::vector<int>{});
    std::optional<Received> insert;
    for (const Received& event : m_received) {
        if (event.press && event.keysym == XK_Insert)
            insert = event;
    }
    QVERIFY(insert);
    QCOMPARE(insert->state & kHeldModifiers, unsigned(ShiftMask));
}

void TestX11KeyboardHook::completionWhileTheKeyIsHeld_data() {
    QTest::addColumn<KeySym>("completionKey");
    QTest::addColumn<int>("completionCode");

    QTest::newRow("Tab") << KeySym(XK_Tab) << 9;
    QTest::newRow("Shift") << KeySym(XK_Shift_L) << 16;
}

void TestX11KeyboardHook::completionWhileTheKeyIsHeld() {
    QFETCH(KeySym, completionKey);
    QFETCH(int, completionCode);

    // What the engine does on the completion key: hide, paste, swallow; the user still holds the key.
    m_onPress = [this, completionCode](int keyCode) {
        if (keyCode != completionCode)
            return;
        m_backends.hook->setPopupVisible(false);
        QVERIFY(m_backends.injector->sendShiftInsert());
    };
    m_discard = {completionCode};
    m_backends.hook->setPopupVisible(true);
    press(completionKey, true);
    QTRY_VERIFY_WITH_TIMEOUT((pumpWindow(), !windowPresses().empty()), 10000);
    press(completionKey, false);
    settle();

    QCOMPARE(m_reported, std::vector<int>{completionCode});
    std::vector<unsigned long> presses = windowPresses();
    QVERIFY(std::find(presses.begin(), presses.end(), completionKey) == presses.end());
    QCOMPARE(presses.back(), XK_Insert);
    const auto insert = std::find_if(m_received.begin(), m_received.end(), [](const Received& event) {
        return event.press && event.keysym == XK_Insert;
    });
    QCOMPARE(insert->state & kHeldModifiers, unsigned(ShiftMask));
}

QTEST_GUILESS_MAIN(TestX11KeyboardHook)
#include "tst_x11keyboardhook.moc"
