// The X11 focus guard on a private Xvfb server: the focused application's class, this program's
// own windows, and keyboard grabs by other clients, the hook's own grabs set apart.
#include "platform/focusguard.h"
#include "platform/x11/x11focusguard.h"
#include "tests/x11/xvfbserver.h"

#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

class TestX11FocusGuard : public QObject {
    Q_OBJECT

    XvfbServer m_server;
    Display* m_apps = nullptr;    // the applications' windows
    Display* m_grabber = nullptr; // another client that grabs the keyboard
    std::unique_ptr<X11FocusGuard> m_guard;
    int m_changes = 0;

    Window window(const char* instance, const char* className, unsigned long pid = 0) {
        const Window created =
            XCreateSimpleWindow(m_apps, DefaultRootWindow(m_apps), 10, 10, 100, 50, 0, 0, 0);
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(className)};
        XSetClassHint(m_apps, created, &hint);
        if (pid) {
            const Atom netWmPid = XInternAtom(m_apps, "_NET_WM_PID", False);
            XChangeProperty(m_apps, created, netWmPid, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&pid), 1);
        }
        XMapWindow(m_apps, created);
        XSync(m_apps, False);
        return created;
    }
    void focus(Window target) {
        XSetInputFocus(m_apps, target, RevertToParent, CurrentTime);
        XSync(m_apps, False);
    }
    bool grab(Window on) {
        const int result = XGrabKeyboard(m_grabber, on, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        XSync(m_grabber, False);
        return result == GrabSuccess;
    }
    void ungrab() {
        XUngrabKeyboard(m_grabber, CurrentTime);
        XSync(m_grabber, False);
    }
    FocusState state() const { return m_guard->state(); }

private slots:
    void initTestCase() {
        if (!m_server.start())
            QSKIP(qPrintable(m_server.error()));
        const QByteArray name = m_server.display().toLocal8Bit();
        m_apps = XOpenDisplay(name.constData());
        m_grabber = XOpenDisplay(name.constData());
        QVERIFY(m_apps && m_grabber);
        m_guard = std::make_unique<X11FocusGuard>(name.toStdString());
        std::string error;
        QVERIFY(m_guard->start([this](const FocusState&) { ++m_changes; }, error));
    }
    void cleanupTestCase() {
        m_guard.reset();
        for (Display* display : {m_apps, m_grabber}) {
            if (display)
                XCloseDisplay(display);
        }
    }
    void init() {
        ungrab();
        m_guard->setOwnKeyboardHoldPossible(false);
    }

    void focusedApplicationIsTheWindowClass() {
        const Window editor = window("gedit", "Gedit");
        const Window own = window("quenlo", "Quenlo", static_cast<unsigned long>(getpid()));
        focus(editor);
        QTRY_COMPARE(state().application.id, std::string("Gedit"));
        QCOMPARE(state().application.name, std::string("Gedit"));
        QVERIFY(!state().application.thisProgram);
        focus(own);
        QTRY_VERIFY(state().application.thisProgram);

        // A child window that takes the focus belongs to its top-level window's application.
        const Window field = XCreateSimpleWindow(m_apps, editor, 0, 0, 20, 10, 0, 0, 0);
        XMapWindow(m_apps, field);
        XSync(m_apps, False);
        focus(field);
        QTRY_COMPARE(state().application.id, std::string("Gedit"));

        const Window terminal = window("uxterm", "UXTerm");
        XRaiseWindow(m_apps, terminal);
        XWarpPointer(m_apps, None, terminal, 0, 0, 0, 0, 5, 5);
        focus(None);
        QTRY_COMPARE(state().application.id, std::string());
        // No window manager names the active window here: the keys go to the one under the pointer.
        focus(PointerRoot);
        QTRY_COMPARE(state().application.id, std::string("UXTerm"));
    }

    void grabByAnotherClient_data() {
        QTest::addColumn<bool>("onRoot");
        QTest::addColumn<bool>("ownHoldPossible");
        // A prompt's own grab with the pop-up hidden is e2e_privacy's held keyboard.
        QTest::newRow("prompt window, pop-up up") << false << true;
        QTest::newRow("root, pop-up hidden") << true << false;
        // While the pop-up is up a root grab may be the hook's own, holding one key: it counts only
        // once it lasts.
        QTest::newRow("root, pop-up up") << true << true;
    }
    void grabByAnotherClient() {
        QFETCH(bool, onRoot);
        QFETCH(bool, ownHoldPossible);
        // A class of its own per row, so that the focus is seen to have arrived on this window.
        const std::string editorClass = std::string("Editor-") + QTest::currentDataTag();
        const Window editor = window("editor", editorClass.c_str());
        const Window prompt = window("pinentry", "Pinentry");
        // A window under the pointer is told of a root grab too (NotifyPointer): not the grab window.
        const Window backdrop = window("backdrop", "Backdrop");
        XMoveResizeWindow(m_apps, backdrop, 0, 0, 1280, 800);
        XWarpPointer(m_apps, None, backdrop, 0, 0, 0, 0, 640, 400);
        focus(editor);
        QTRY_COMPARE(state().application.id, editorClass);
        m_guard->setOwnKeyboardHoldPossible(ownHoldPossible);
        QVERIFY(!state().keyboardHeld);
        const int before = m_changes;
        QVERIFY(grab(onRoot ? DefaultRootWindow(m_grabber) : prompt));
        if (onRoot && ownHoldPossible) {
            // Held for one key: no pause, no change reported.
            QTest::qWait(200);
            QVERIFY(!state().keyboardHeld);
            QCOMPARE(m_changes, before);
        }
        QTRY_VERIFY_WITH_TIMEOUT(state().keyboardHeld, 5000);
        ungrab();
        QTRY_VERIFY(!state().keyboardHeld);
        QCOMPARE(state().application.id, editorClass);
    }
};

QTEST_GUILESS_MAIN(TestX11FocusGuard)
#include "tst_x11focusguard.moc"
