// Hiding the main window to the notification area and back, with and without one.
#include "shell/windowtray.h"
#include "tests/fakes/fakes.h"

#include <QTest>
#include <QWidget>

class TestWindowTray : public QObject {
    Q_OBJECT
private slots:
    void minimizeAndBringBack() {
        QWidget window;
        FakeTrayIcon tray;
        QStringList notices;
        WindowTray windowTray(&window, tray, QIcon(), QStringLiteral("tip"),
                              [&](const QString& text) { notices.append(text); });
        windowTray.IconTray();
        window.show();
        QVERIFY(tray.shown());
        windowTray.minimize();
        QVERIFY(!window.isVisible());
        QVERIFY(tray.shown());
        tray.pressLeftButton();
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        windowTray.minimize();
        // Every add is of the one icon.
        QVERIFY(tray.shown());
        QCOMPARE(tray.adds, 3);

        QVERIFY(windowTray.hideOnClose());
        QVERIFY(!window.isVisible());
        QVERIFY(notices.isEmpty());
        windowTray.setTipProblem(QStringLiteral("no keyboard"));
        QCOMPARE(tray.tip, QStringLiteral("tip\nno keyboard"));
        windowTray.removeIcon();
        QVERIFY(!tray.shown());
    }

    void withoutNotificationArea() {
        QWidget window;
        FakeTrayIcon tray;
        tray.hasNotificationArea = false;
        QStringList notices;
        WindowTray windowTray(&window, tray, QIcon(), QStringLiteral("tip"),
                              [&](const QString& text) { notices.append(text); });
        windowTray.IconTray();
        window.show();
        windowTray.minimize();
        // Never hidden with no way back: minimized to the taskbar, with the reason shown.
        QVERIFY(window.isVisible());
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.front().contains(QStringLiteral("no notification area")));
        QVERIFY(!windowTray.hideOnClose());
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(TestWindowTray)
#include "tst_windowtray.moc"
