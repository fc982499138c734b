// The Windows focus guard on a real (Wine) desktop: the foreground application by its executable,
// and password fields (EDITs with ES_PASSWORD) of another process told apart from plain ones.
#include "platform/win32/win32focusguard.h"
#include "win32testing.h"

#include <QTest>

#include <vector>

using namespace win32testing;

class TestWin32FocusGuard : public QObject {
    Q_OBJECT

private slots:
    void passwordFieldClasses_data() {
        QTest::addColumn<QString>("className");
        QTest::addColumn<long long>("style");
        QTest::addColumn<bool>("password");
        QTest::newRow("edit with ES_PASSWORD") << "Edit" << (long long)(ES_PASSWORD | WS_CHILD) << true;
        QTest::newRow("class in capitals") << "EDIT" << (long long)ES_PASSWORD << true;
        QTest::newRow("rich edit") << "RichEdit20W" << (long long)ES_PASSWORD << true;
        QTest::newRow("plain edit") << "Edit" << (long long)(ES_MULTILINE | ES_AUTOHSCROLL) << false;
        // The same bit means something else to other classes.
        QTest::newRow("button with the bit") << "Button" << (long long)ES_PASSWORD << false;
        QTest::newRow("Qt window with the bit") << "Qt640QWindowIcon" << (long long)ES_PASSWORD << false;
    }
    void passwordFieldClasses() {
        QFETCH(QString, className);
        QFETCH(long long, style);
        QFETCH(bool, password);
        QCOMPARE(win32IsPasswordField(className.toStdWString(), style), password);
    }

    // Told to watch again while a password field has the focus, the guard says so at once. Telling a password
    // field from a plain one as the focus moves between them is e2e_win32's.
    void tellsThePasswordFieldOfTheForegroundApplication() {
        Win32FocusGuard guard;
        std::vector<FocusState> told;
        std::string error;
        QVERIFY2(guard.start([&](const FocusState& state) { told.push_back(state); }, error), error.c_str());
        const auto focused = [&](bool password) {
            return waitFor([&] {
                const FocusState state = guard.state();
                return state.application.id == "quenlo_win32_editprobe.exe" &&
                       !state.application.thisProgram && state.passwordField == password;
            });
        };
        try {
            Process secret;
            startEditProbe(secret, L"password field", true);
            QVERIFY(focused(true));
            guard.setWatchPasswordFields(false);
            QVERIFY(focused(false));
            guard.setWatchPasswordFields(true);
            QVERIFY(focused(true));
        } catch (const Failed& failure) {
            QFAIL(failure.what());
        }
        QVERIFY(!told.empty());
        QCOMPARE(told.back(), guard.state());
    }
};

QTEST_GUILESS_MAIN(TestWin32FocusGuard)
#include "tst_win32focusguard.moc"
