// Which word database the program opens, and the user's copy of the installed default: made once,
// whole, and never over a database the user already has.
#include "shell/worddatabaseplace.h"
#include "tests/testfiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

class TestWordDatabasePlace : public QObject {
    Q_OBJECT
private slots:
    void choose_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("userDataDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("copyFrom");
        const QString beside = "/opt/q/bin/words.mdb";
        const QString user = "/home/u/.local/share/Quenlo/words.mdb";
        const QString installed = "/opt/q/share/quenlo/words.mdb";
        const QString userDir = "/home/u/.local/share/Quenlo";
        QTest::newRow("beside the program wins")
            << QStringList{beside, user, installed} << userDir << beside << "";
        QTest::newRow("user's copy") << QStringList{user, installed} << userDir << user << "";
        QTest::newRow("user's copy without an installed default")
            << QStringList{user} << userDir << user << "";
        QTest::newRow("first start copies") << QStringList{installed} << userDir << user << installed;
        QTest::newRow("nothing: missing beside") << QStringList{} << userDir << beside << "";
        QTest::newRow("no user folder known") << QStringList{installed} << "" << beside << "";
    }
    void choose() {
        QFETCH(QStringList, existing);
        QFETCH(QString, userDataDir);
        const QSet<QString> files(existing.begin(), existing.end());
        const WordDatabasePlace place = chooseWordDatabase(
            "/opt/q/bin", userDataDir, [&](const QString& path) { return files.contains(path); });
        QTEST(place.path, "path");
        QTEST(place.copyFrom, "copyFrom");
    }

    void copyMakesWholeFileOnce() {
        QTemporaryDir dir;
        const QString source = dir.filePath("share/words.mdb");
        const QString target = dir.filePath("user/deeper/words.mdb");
        const QByteArray content(3 << 20, 'w'); // more than one chunk
        writeFile(source, content);
        QString error;
        QVERIFY2(copyWordDatabase(source, target, error), qPrintable(error));
        QCOMPARE(readFile(target), content);
        QCOMPARE(QDir(dir.filePath("user/deeper")).entryList(QDir::Files), QStringList{"words.mdb"});

        // A second copy, as by a second program starting at once, keeps the user's file.
        writeFile(target, "the user's words");
        QVERIFY2(copyWordDatabase(source, target, error), qPrintable(error));
        QCOMPARE(readFile(target), QByteArray("the user's words"));
        QCOMPARE(QDir(dir.filePath("user/deeper")).entryList(QDir::Files), QStringList{"words.mdb"});
    }

    void copyFailuresLeaveNothing_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::newRow("source missing") << "missing.mdb"
                                        << "user/words.mdb";
        QTest::newRow("a file where the folder should be") << "words.mdb"
                                                           << "blocker/words.mdb";
    }
    void copyFailuresLeaveNothing() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QTemporaryDir dir;
        writeFile(dir.filePath("words.mdb"), "default words");
        writeFile(dir.filePath("blocker"), "a file");
        QString error;
        QVERIFY(!copyWordDatabase(dir.filePath(source), dir.filePath(target), error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(target)));
        QCOMPARE(QDir(dir.filePath("user")).entryList(QDir::Files), QStringList{});
    }

    void prepareFallsBackToInstalledDefault() {
        QTemporaryDir dir;
        const QString installed = dir.filePath("usr/share/quenlo/words.mdb");
        writeFile(installed, "default words");
        writeFile(dir.filePath("home"), "a file where the data folder should be");
        QString problem;
        QCOMPARE(prepareWordDatabase(dir.filePath("usr/bin"), dir.filePath("home/Quenlo"), problem),
                 QDir::cleanPath(installed));
        QVERIFY(problem.contains("could not be made"));
    }
};

QTEST_GUILESS_MAIN(TestWordDatabasePlace)
#include "tst_worddatabaseplace.moc"
