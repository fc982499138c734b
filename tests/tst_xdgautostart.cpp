// The XDG autostart entry: written so that sessions and desktop-file-validate accept it, read back
// the way sessions read it, removed again.
#include "platform/xdg/xdgautostart.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
XdgAutostart::Entry entryFor(const QString& programPath) {
    return {QStringLiteral("org.example.quenlo.WordComplete"), QStringLiteral("Quenlo Word Complete"),
            QStringLiteral("Completes words"), programPath};
}
} // namespace

class TestXdgAutostart : public QObject {
    Q_OBJECT
private slots:
    void execArgument_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("argument");
        // A plain path is the package suite's, blanks the written entry's below.
        QTest::newRow("escaped inside quotes")
            << QString("/a$b\"c`d\\e") << QString("\"/a\\$b\\\"c\\`d\\\\e\"");
        QTest::newRow("quoted, not escaped") << QString("/it's/(x)") << QString("\"/it's/(x)\"");
    }
    void execArgument() {
        QFETCH(QString, path);
        QTEST(XdgAutostart::execArgument(path), "argument");
    }

    void entryStartsProgram_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("starts");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=quenlo\n";
        QTest::newRow("plain") << head << true;
        QTest::newRow("hidden") << head + "Hidden=true\n" << false;
        QTest::newRow("hidden false") << head + "Hidden=false\n" << true;
        QTest::newRow("switched off by GNOME") << head + "X-GNOME-Autostart-enabled=false\n" << false;
        QTest::newRow("other group's Hidden") << head + "[Desktop Action x]\nHidden=true\n" << true;
        QTest::newRow("blanks around") << head + "Hidden = true \n" << false;
    }
    void entryStartsProgram() {
        QFETCH(QByteArray, text);
        QTEST(XdgAutostart::entryStartsProgram(text), "starts");
    }

    void writtenEntryIsValid() {
        QTemporaryDir dir;
        XdgAutostart autostart(dir.path(), entryFor("/opt/my apps/100% \"quenlo\"/$bin\\quenlo"));
        QString error;
        QVERIFY2(autostart.setEnabled(true, error), qPrintable(error));
        QFile file(autostart.entryPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("Exec=\"/opt/my apps/100%% \\\\\"quenlo\\\\\"/\\\\$bin\\\\\\\\quenlo\"\n"));
        QVERIFY(text.contains("TryExec=/opt/my apps/100% \"quenlo\"/$bin\\\\quenlo\n"));
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (package desktop-file-utils)");
        QProcess process;
        process.start(validator, {autostart.entryPath()});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY2(process.exitCode() == 0 && process.readAll().isEmpty(), qPrintable(process.readAll()));
    }

    void enableDisableReadsWhatIsThere() {
        QTemporaryDir dir;
        const QString configDir = dir.filePath("config"); // does not exist yet
        XdgAutostart autostart(configDir, entryFor("/usr/bin/quenlo"));
        QString error;
        QVERIFY2(autostart.setEnabled(true, error), qPrintable(error));

        // Written and removed through the menu is the package suite's; the desktop's own settings
        // switch it off by editing the entry.
        QFile file(autostart.entryPath());
        QVERIFY(file.open(QIODevice::Append));
        file.write("Hidden=true\n");
        file.close();
        QVERIFY(!autostart.isEnabled());

        QVERIFY(autostart.setEnabled(true, error));
        QVERIFY(autostart.isEnabled());
        QVERIFY(autostart.setEnabled(false, error));
        QVERIFY(!QFile::exists(autostart.entryPath()));
        QVERIFY(!autostart.isEnabled());
        QVERIFY(autostart.setEnabled(false, error));

        // A file where the folder should be: the failure names the place.
        const QString blocker = dir.filePath("blocked/autostart");
        QVERIFY(QDir().mkpath(dir.filePath("blocked")) && QFile(blocker).open(QIODevice::WriteOnly));
        XdgAutostart blocked(dir.filePath("blocked"), entryFor("/usr/bin/quenlo"));
        QVERIFY(!blocked.setEnabled(true, error));
        QVERIFY(error.contains(blocker));
        QVERIFY(!blocked.isEnabled());
    }
};

QTEST_GUILESS_MAIN(TestXdgAutostart)
#include "tst_xdgautostart.moc"
