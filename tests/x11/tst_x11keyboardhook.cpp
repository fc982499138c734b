// The X11 keyboard hook and injector on a private Xvfb server: what is reported, what the focused
// window receives, and that the keyboard never stays frozen.
#include "app/backends.h"
#include "tests/x11/xvfbserver.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <string_view>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using Keys = std::vector<unsigned long>;
using Codes = std::vector<int>;

class TestX11KeyboardHook : public QObject {
    Q_OBJECT

    struct Received {
        bool press;
        unsigned long keysym;
        unsigned state;
    };
    enum class Answer { Keep, Discard, Defer };
    static constexpr unsigned kHeldModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

    XvfbServer m_server;
    Display* m_driver = nullptr;
    std::vector<Received> m_received;
    KeyboardBackends m_backends;
    Answer m_answer = Answer::Keep;
    Codes m_reported;
    std::vector<KeyDecision> m_deferred;
    std::function<void(int)> m_onPress;

    void press(unsigned long keysym, bool down) {
        XTestFakeKeyEvent(m_driver, XKeysymToKeycode(m_driver, keysym), down ? True : False, CurrentTime);
        XFlush(m_driver);
    }
    void tap(unsigned long keysym) { press(keysym, true), press(keysym, false); }

    void pumpWindow() {
        for (XEvent event; XPending(m_driver) > 0;) {
            XNextEvent(m_driver, &event);
            if (event.type != KeyPress && event.type != KeyRelease)
                continue;
            m_received.push_back({event.type == KeyPress,
                                  XkbKeycodeToKeysym(m_driver, KeyCode(event.xkey.keycode), 0, 0),
                                  event.xkey.state});
        }
    }

    // Taps F12 and waits until both the hook and the window have it, then takes it off both records:
    // everything sent before it has been settled.
    void settle() {
        tap(XK_F12);
        const auto seen = [this] {
            pumpWindow();
            return !m_reported.empty() && m_reported.back() == 123 && !m_received.empty() &&
                   m_received.back().keysym == XK_F12 && !m_received.back().press;
        };
        QTRY_VERIFY_WITH_TIMEOUT(seen(), 10000);
        m_reported.pop_back();
        m_received.resize(m_received.size() - 2);
    }

    void clearRecords() {
        m_reported.clear();
        m_received.clear();
    }

    Keys windowPresses() const {
        Keys presses;
        for (const Received& event : m_received) {
            if (event.press)
                presses.push_back(event.keysym);
        }
        return presses;
    }

    // The held modifiers of the window's only Insert press; ~0 unless exactly one came.
    unsigned insertState() const {
        std::vector<unsigned> states;
        for (const Received& event : m_received) {
            if (event.press && event.keysym == XK_Insert)
                states.push_back(event.state & kHeldModifiers);
        }
        return states.size() == 1 ? states.front() : ~0u;
    }

    // Whether another client (the hook) holds a grab of the key on the root window: a grab of the
    // driver's own then fails with BadAccess.
    bool grabbedElsewhere(KeySym keysym) {
        static bool refused;
        refused = false;
        const auto previous = XSetErrorHandler([](Display*, XErrorEvent* error) {
            refused = refused || error->error_code == BadAccess;
            return 0;
        });
        const int keycode = XKeysymToKeycode(m_driver, keysym);
        const Window root = DefaultRootWindow(m_driver);
        XGrabKey(m_driver, keycode, 0, root, False, GrabModeAsync, GrabModeAsync);
        XSync(m_driver, False);
        XUngrabKey(m_driver, keycode, 0, root);
        XSync(m_driver, False);
        XSetErrorHandler(previous);
        return refused;
    }

    void setLocks(unsigned locks) {
        const unsigned numLock = XkbKeysymToModifiers(m_driver, XK_Num_Lock);
        XkbLockModifiers(m_driver, XkbUseCoreKbd, LockMask | numLock,
                         ((locks & LockMask) ? LockMask : 0) | ((locks & Mod2Mask) ? numLock : 0));
        XSync(m_driver, False);
    }

private slots:
    void initTestCase() {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        m_driver = XOpenDisplay(m_server.display().toLatin1().constData());
        QVERIFY2(m_driver, qPrintable("cannot open the display " + m_server.display()));
        const Window window =
            XCreateSimpleWindow(m_driver, DefaultRootWindow(m_driver), 100, 100, 200, 100, 0, 0, 0);
        XSelectInput(m_driver, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(m_driver, window);
        for (XEvent event;
             XWindowEvent(m_driver, window, StructureNotifyMask, &event), event.type != MapNotify;) {
        }
        XSetInputFocus(m_driver, window, RevertToPointerRoot, CurrentTime);
        XSync(m_driver, False);
    }

    void cleanupTestCase() {
        if (m_driver)
            XCloseDisplay(m_driver);
    }

    void init() {
        m_answer = Answer::Keep;
        m_onPress = nullptr;
        // Only the watchdog's own test keeps its real time; elsewhere a slow machine must not
        // let a key through before the test has answered.
        const bool watchdogTest =
            std::string_view(QTest::currentTestFunction()) == "busyUiThreadFreezesNothing";
        m_backends = createKeyboardBackends({m_server.display().toStdString(), watchdogTest ? 100 : 10000});
        QVERIFY2(m_backends.problem.empty(), m_backends.problem.c_str());
        std::string error;
        const bool started = m_backends.hook->start(
            [this](int keyCode, KeyDecision decide) {
                m_reported.push_back(keyCode);
                // A deferred decision is there for the test's own reaction to the press.
                const Answer answer = m_answer;
                if (answer == Answer::Defer)
                    m_deferred.push_back(std::move(decide));
                if (m_onPress)
                    m_onPress(keyCode);
                if (answer != Answer::Defer)
                    decide(answer == Answer::Discard ? 1 : 0);
            },
            error);
        QVERIFY2(started, error.c_str());
        pumpWindow();
        clearRecords();
    }

    void cleanup() {
        for (KeyDecision& decide : m_deferred)
            decide(0);
        m_deferred.clear();
        m_backends = {};
        setLocks(0);
    }

    void backendChoice() {
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

    void keys_data() {
        QTest::addColumn<bool>("popupVisible");
        QTest::addColumn<unsigned>("locks");
        QTest::addColumn<bool>("discard"); // the handler answers 1 for every key
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<Codes>("reported");
        QTest::addColumn<Keys>("reachWindow");
        QTest::addColumn<KeySym>("held"); // a modifier held down around the keys, or 0

        const auto row = [](const char* name, bool popupVisible, unsigned locks, bool discard,
                            const Keys& keys, const Codes& reported, const Keys& reachWindow,
                            KeySym held = 0) {
            QTest::newRow(name) << popupVisible << locks << discard << keys << reported << reachWindow
                                << held;
        };
        const unsigned caps = LockMask;
        const unsigned num = Mod2Mask;
        const Keys typing{XK_h,         XK_1,      XK_semicolon, XK_bracketleft, XK_space, XK_Return,
                          XK_BackSpace, XK_Escape, XK_Tab,       XK_F1,          XK_F11};
        row("typing, pop-up hidden", false, 0, false, typing, {72, 49, 186, 219, 32, 13, 8, 27, 9, 112, 122},
            typing);
        const Keys grabbed{XK_Tab, XK_Down, XK_Up, XK_Shift_L, XK_Shift_R, XK_a};
        row("pop-up up, answered 0", true, 0, false, grabbed, {9, 40, 38, 16, 16, 65}, grabbed);
        const Keys tabDownA{XK_Tab, XK_Down, XK_a};
        row("pop-up up, both locks, answered 0", true, caps + num, false, tabDownA, {9, 40, 65}, tabDownA);
        // Only Tab, Shift, Up and Down are ever swallowed, and only while the pop-up is up. A swallowed
        // Tab or Shift holds the keys behind it for the paste that follows; without one they come after
        // a bound, the pop-up's grabs then no longer in the way. The keypad's Down without NumLock is Down.
        row("pop-up up, answered 1", true, 0, true,
            {XK_Down, XK_Up, XK_KP_Down, XK_a, XK_Escape, XK_Tab, XK_Shift_L}, {40, 38, 40, 65, 27, 9, 16},
            {XK_a, XK_Escape, XK_Shift_L});
        row("pop-up up, Shift answered 1", true, 0, true, {XK_Shift_R, XK_Down}, {16, 40}, {XK_Down});
        const Keys tabDown{XK_Down, XK_Tab};
        row("answered 1, CapsLock", true, caps, true, tabDown, {40, 9}, {});
        row("answered 1, NumLock", true, num, true, tabDown, {40, 9}, {});
        row("answered 1, both locks", true, caps + num, true, tabDown, {40, 9}, {});
        row("pop-up hidden, answered 1", false, 0, true, tabDown, {40, 9}, tabDown);
        const Keys keypadDigits{XK_KP_End, XK_KP_Down};
        row("keypad digits with NumLock, answered 1", true, num, true, keypadDigits, {97, 98}, keypadDigits);
        // The handler knows no modifiers: with Ctrl or Alt held, a key it swallows is swallowed too.
        row("answered 1, Ctrl held", true, 0, true, tabDown, {17, 40, 9}, {XK_Control_L}, XK_Control_L);
        row("answered 1, Alt and CapsLock", true, caps, true, tabDown, {18, 40, 9}, {XK_Alt_L}, XK_Alt_L);
    }

    void keys() {
        QFETCH(bool, popupVisible);
        QFETCH(unsigned, locks);
        QFETCH(bool, discard);
        QFETCH(Keys, keys);
        QFETCH(Codes, reported);
        QFETCH(Keys, reachWindow);
        QFETCH(KeySym, held);

        setLocks(locks);
        settle();
        clearRecords();
        // Shown first, so that a hidden pop-up has had its grabs and dropped them.
        m_backends.hook->setPopupVisible(true);
        m_backends.hook->setPopupVisible(popupVisible);
        m_answer = discard ? Answer::Discard : Answer::Keep;
        if (held)
            press(held, true);
        for (const unsigned long keysym : keys)
            tap(keysym);
        if (held)
            press(held, false);
        settle();

        QCOMPARE(m_reported, reported);
        QCOMPARE(windowPresses(), reachWindow);
        if (!discard) // every press and release reached the window
            QCOMPARE(m_received.size(), 2 * keys.size());
    }

    void grabsOnlyWhatMayBeSwallowed_data() {
        QTest::addColumn<int>("completionKey");
        QTest::addColumn<bool>("numberKeys");
        QTest::addColumn<Keys>("grabbed");
        QTest::addColumn<Keys>("free");
        QTest::newRow("Tab completes") << 9 << false << Keys{XK_Tab, XK_Up, XK_Down, XK_KP_Up, XK_KP_Down}
                                       << Keys{XK_Shift_L, XK_Shift_R, XK_a, XK_1};
        QTest::newRow("Shift completes")
            << 16 << false << Keys{XK_Shift_L, XK_Shift_R, XK_Up, XK_Down} << Keys{XK_Tab};
        QTest::newRow("completion off")
            << 0 << false << Keys{XK_Up, XK_Down} << Keys{XK_Tab, XK_Shift_L, XK_Shift_R};
        QTest::newRow("number keys pick")
            << 9 << true << Keys{XK_Tab, XK_1, XK_9} << Keys{XK_0, XK_a, XK_KP_1};
    }

    void grabsOnlyWhatMayBeSwallowed() {
        QFETCH(int, completionKey);
        QFETCH(bool, numberKeys);
        QFETCH(Keys, grabbed);
        QFETCH(Keys, free);
        // Told while the pop-up is up, as when the setting changes then: the grabs follow at once.
        m_backends.hook->setPopupVisible(true);
        m_backends.hook->setCompletionKey(completionKey == 9 ? 16 : 9);
        m_backends.hook->setCompletionKey(completionKey);
        m_backends.hook->setNumberKeys(numberKeys);
        m_backends.hook->setPopupVisible(true);
        for (const KeySym key : grabbed)
            QVERIFY2(grabbedElsewhere(key), XKeysymToString(key));
        for (const KeySym key : free)
            QVERIFY2(!grabbedElsewhere(key), XKeysymToString(key));
        m_backends.hook->setPopupVisible(false);
        for (const KeySym key : grabbed)
            QTRY_VERIFY2(!grabbedElsewhere(key), XKeysymToString(key));
    }

    void typedText_data() {
        QTest::addColumn<QString>("layouts"); // set with setxkbmap while the hook runs
        QTest::addColumn<int>("group");       // locked
        QTest::addColumn<unsigned>("locks");
        // Key codes of the evdev keymap, tapped; one that comes again negative is held until then: 10 AE01,
        // 24 AD01, 37 left Ctrl, 38 AC01, 41 AC04, 50 left Shift, 52 AB01, 108 right Alt. Plain letters,
        // Shift, dead keys and first-group layouts are typed in the desktop scenarios.
        QTest::addColumn<Codes>("keycodes");
        QTest::addColumn<QString>("typed");
        const auto row = [](const char* tag, const char* layouts, int group, unsigned locks,
                            const Codes& keycodes, const char* typed) {
            QTest::newRow(tag) << layouts << group << locks << keycodes << QString::fromUtf8(typed);
        };
        row("CapsLock", "us", 0, LockMask, {52, 10, 38}, "Z1A");
        row("CapsLock and Shift", "us", 0, LockMask, {50, 52, 10, -50, 38}, "z!A");
        row("Ctrl held: a shortcut types no text", "us", 0, 0, {37, 52, 10, -37, 38}, "a");
        row("German AltGr q", "de", 0, 0, {108, 24, -108}, "@");
        row("Russian as the second group, Shift", "us,ru", 1, 0, {50, 41, -50}, "А");
    }

    void typedText() {
        QFETCH(QString, layouts);
        QFETCH(int, group);
        QFETCH(unsigned, locks);
        QFETCH(Codes, keycodes);
        const auto setLayouts = [this](const QString& names, int locked) {
            const QStringList arguments{QStringLiteral("-display"), m_server.display(),
                                        QStringLiteral("-layout"), names};
            QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), arguments), 0);
            XkbLockGroup(m_driver, XkbUseCoreKbd, static_cast<unsigned>(locked));
            XSync(m_driver, False);
        };
        setLayouts(layouts, group);
        setLocks(locks);
        settle();
        QString typed;
        m_onPress = [&](int) {
            typed += QString::fromStdString(m_backends.hook->pressText());
        };
        for (const int keycode : keycodes) {
            const auto code = static_cast<unsigned>(std::abs(keycode));
            const bool held = std::find(keycodes.begin(), keycodes.end(), -keycode) != keycodes.end();
            XTestFakeKeyEvent(m_driver, code, keycode > 0, CurrentTime);
            if (keycode > 0 && !held)
                XTestFakeKeyEvent(m_driver, code, False, CurrentTime);
        }
        XFlush(m_driver);
        settle();
        setLayouts(QStringLiteral("us"), 0);
        QTEST(typed, "typed");
    }

    void busyUiThreadFreezesNothing() {
        // The UI thread is stuck in the handler of the first key (a slow lookup, another program's
        // lock): the held keys still reach the window within the watchdog's bound, and the answers
        // that finally come know they are too late and change nothing.
        m_backends.hook->setPopupVisible(true);
        QElapsedTimer stuck;
        qint64 reachedAfterMs = -1;
        m_onPress = [&](int keyCode) {
            if (keyCode != 9)
                return;
            tap(XK_Down);
            stuck.start();
            while (windowPresses().size() < 2 && stuck.elapsed() < 5000) {
                pumpWindow();
                QThread::msleep(2);
            }
            reachedAfterMs = stuck.elapsed();
        };
        m_answer = Answer::Defer;
        tap(XK_Tab);
        QTRY_COMPARE_WITH_TIMEOUT(m_deferred.size(), std::size_t(2), 10000);
        m_onPress = nullptr;
        QVERIFY2(reachedAfterMs >= 0 && reachedAfterMs < 1000, qPrintable(QString::number(reachedAfterMs)));
        QVERIFY(!m_deferred[0](1));
        QVERIFY(!m_deferred[1](1));
        m_deferred.clear();
        // The keyboard goes on working.
        m_answer = Answer::Keep;
        tap(XK_c);
        settle();
        QCOMPARE(m_reported, (Codes{9, 40, 67}));
        QCOMPARE(windowPresses(), (Keys{XK_Tab, XK_Down, XK_c}));
    }

    void completionHoldsTheKeysBehindItsPaste_data() {
        QTest::addColumn<KeySym>("completionKey");
        QTest::addColumn<int>("completionCode");
        QTest::addColumn<bool>("xDownWhenTheHoldEnds");
        QTest::addColumn<KeySym>("held"); // a modifier the user holds throughout, or 0
        QTest::addColumn<Keys>("reachWindow");

        const Keys pasted{XK_Shift_L, XK_Insert, XK_x, XK_y};
        // Tab with the keys released at once is e2e_completion's.
        // Shift is let go before the paste is typed: the paste brings its own, the swallowed one's
        // release stays swallowed.
        QTest::newRow("Shift") << KeySym(XK_Shift_L) << 16 << false << KeySym(0) << pasted;
        // Typed again while still down on the device that typed it, its press would be dropped.
        QTest::newRow("Tab, x still down") << KeySym(XK_Tab) << 9 << true << KeySym(0) << pasted;
        // The window sees exactly Shift+Insert: a held Shift serves, other modifiers are let go first.
        QTest::newRow("Shift held") << KeySym(XK_Tab) << 9 << false << KeySym(XK_Shift_R)
                                    << Keys{XK_Insert, XK_x, XK_y};
        QTest::newRow("Control held") << KeySym(XK_Tab) << 9 << false << KeySym(XK_Control_L) << pasted;
        QTest::newRow("Alt held") << KeySym(XK_Tab) << 9 << false << KeySym(XK_Alt_L) << pasted;
    }

    void completionHoldsTheKeysBehindItsPaste() {
        QFETCH(KeySym, completionKey);
        QFETCH(int, completionCode);
        QFETCH(bool, xDownWhenTheHoldEnds);
        QFETCH(KeySym, held);

        if (held) {
            press(held, true);
            settle();
            clearRecords();
        }
        // The keys typed right behind the completion key wait for its answer, however late it comes.
        m_answer = Answer::Defer;
        m_backends.hook->setPopupVisible(true);
        press(completionKey, true);
        press(XK_x, true);
        if (!xDownWhenTheHoldEnds)
            press(XK_x, false);
        tap(XK_y);
        press(completionKey, false);
        QTRY_COMPARE_WITH_TIMEOUT(m_reported.size(), std::size_t(1), 10000);
        XSync(m_driver, False);
        pumpWindow();
        QVERIFY(windowPresses().empty());

        // What the engine does on the completion key: swallow, and only then hide and paste. The keys
        // behind it are in the server before the paste is even asked for.
        m_answer = Answer::Keep;
        QVERIFY(std::exchange(m_deferred, {}).front()(1));
        m_backends.hook->setPopupVisible(false);
        QVERIFY(m_backends.injector->sendShiftInsert());
        settle();
        if (xDownWhenTheHoldEnds)
            press(XK_x, false);
        if (held)
            press(held, false);

        // The injected keys are not reported.
        QCOMPARE(m_reported, (Codes{completionCode, 88, 89}));
        QTEST(windowPresses(), "reachWindow");
        QCOMPARE(insertState(), unsigned(ShiftMask));
    }

    void answerAfterTheHookIsGone() {
        // As at the program's end with a key still waiting for the UI thread: the answer changes
        // nothing, and the key the hook held reaches the window.
        m_backends.hook->setPopupVisible(true);
        m_answer = Answer::Defer;
        tap(XK_Tab);
        QTRY_COMPARE_WITH_TIMEOUT(m_deferred.size(), std::size_t(1), 10000);
        const KeyDecision orphan = std::exchange(m_deferred, {}).front();
        m_backends = {};
        QVERIFY(!orphan(1));
        const auto reached = [this] {
            pumpWindow();
            return windowPresses() == Keys{XK_Tab};
        };
        QTRY_VERIFY_WITH_TIMEOUT(reached(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestX11KeyboardHook)
#include "tst_x11keyboardhook.moc"
