// The real program's command line: what ends at once, with what output and exit status.
#include "version.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void answersWithoutStarting_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>(
            "output"); // on standard output when the exit code is 0, else on standard error
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--minimized";
        QTest::newRow("short help") << QStringList{"-h"} << 0 << "--ibus";
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << "Quenlo Word Complete " QUENLO_VERSION "\n";
        QTest::newRow("help wins over the rest")
            << QStringList{"--minimized", "--help"} << 0 << "Usage: quenlo";
        QTest::newRow("unknown among known") << QStringList{"--ibus", "-x"} << 2 << "Unknown option 'x'";
        QTest::newRow("a file name") << QStringList{"words.txt"} << 2 << "unexpected argument 'words.txt'";
        QTest::newRow("a Qt option") << QStringList{"-platform", "xcb"} << 2 << "Unknown option";
    }
    void answersWithoutStarting() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        // Should the program start after all, it starts alone, offscreen, and is ended below.
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.remove("DISPLAY");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QUENLO_PROGRAM, arguments);
        const bool ended = program.waitForFinished(10000);
        if (!ended)
            program.kill();
        QVERIFY2(ended, "the program started instead of answering");
        QCOMPARE(program.exitCode(), exitCode);
        const QString text = QString::fromLocal8Bit(exitCode == 0 ? program.readAllStandardOutput()
                                                                  : program.readAllStandardError());
        QVERIFY2(text.contains(output), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
