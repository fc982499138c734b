// The real settings store: values outlive the backend object and land in the user's file, or on
// Windows in the registry.
#include "platform/settingsbackend.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestQSettingsBackend : public QObject {
    Q_OBJECT
private slots:
    void valuesOutliveTheBackend() {
#ifdef Q_OS_WIN
        // The registry has no folder to point elsewhere: the test runs only where no settings are, and
        // takes its own away again.
        const QString registryKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Quenlo");
        if (!QSettings(registryKey, QSettings::NativeFormat).allKeys().isEmpty())
            QSKIP("this user has Quenlo settings, which the test must not touch");
        const auto removeSettings = qScopeGuard([] {
            QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
                .remove("Quenlo");
        });
#else
        QTemporaryDir home;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
#endif
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
#ifdef Q_OS_WIN
        QCOMPARE(QSettings(registryKey + "\\Quenlo", QSettings::NativeFormat).value("Type/Opt1"),
                 QVariant("True"));
#else
        QVERIFY(QFileInfo::exists(home.filePath("Quenlo/Quenlo.conf")));
#endif
    }
};

QTEST_GUILESS_MAIN(TestQSettingsBackend)
#include "tst_qsettingsbackend.moc"
