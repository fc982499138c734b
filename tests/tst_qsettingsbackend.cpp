// The real settings store: values outlive the backend object and land in the user's file.
#include "platform/settingsbackend.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestQSettingsBackend : public QObject {
    Q_OBJECT
private slots:
    void valuesOutliveTheBackend();
};

void TestQSettingsBackend::valuesOutliveTheBackend() {
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    {
        QSettingsBackend backend;
        QVERIFY(!backend.value("Quenlo", "Type", "Opt1"));
        QVERIFY(backend.setValue("Quenlo", "Type", "Opt1", "True"));
        QVERIFY(backend.setValue("Quenlo", "File", "Import", " /tmp/with blanks.txt "));
    }
    const QSettingsBackend backend;
    QCOMPARE(backend.value("Quenlo", "Type", "Opt1"), std::optional<QString>("True"));
    QCOMPARE(backend.value("Quenlo", "File", "Import"), std::optional<QString>(" /tmp/with blanks.txt "));
    QVERIFY(!backend.value("Quenlo", "Options", "AutoImort"));
    QVERIFY(QFileInfo::exists(home.filePath("Quenlo/Quenlo.conf")));
}

QTEST_GUILESS_MAIN(TestQSettingsBackend)
#include "tst_qsettingsbackend.moc"
