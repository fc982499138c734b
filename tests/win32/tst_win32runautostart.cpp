// The Run value under Wine's registry, in keys of the test's own.
#include "platform/win32/win32runautostart.h"

#include <QTest>

#include <windows.h>

namespace {
const QString testRoot = QStringLiteral("Software\\Quenlo-tests");
const QString runKey = testRoot + QStringLiteral("\\Run");
const QString approvedKey = testRoot + QStringLiteral("\\Approved");
const QString name = QStringLiteral("Quenlo Word Complete");

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString runValue() {
    wchar_t text[512] = {};
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, wide(runKey), wide(name), RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return QStringLiteral("<none>");
    return QString::fromWCharArray(text);
}

void setRunValue(const QString& command) {
    RegSetKeyValueW(HKEY_CURRENT_USER, wide(runKey), wide(name), REG_SZ, wide(command),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

// As Task Manager marks an entry: a first byte of 3 switched off, 2 on.
void markApproved(BYTE first) {
    const BYTE mark[12] = {first};
    RegSetKeyValueW(HKEY_CURRENT_USER, wide(approvedKey), wide(name), REG_BINARY, mark, sizeof(mark));
}

bool approvedMarkThere() {
    return RegGetValueW(HKEY_CURRENT_USER, wide(approvedKey), wide(name), RRF_RT_REG_BINARY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}
} // namespace

class TestWin32RunAutostart : public QObject {
    Q_OBJECT

private slots:
    void init() { RegDeleteTreeW(HKEY_CURRENT_USER, wide(testRoot)); }
    void cleanupTestCase() { RegDeleteTreeW(HKEY_CURRENT_USER, wide(testRoot)); }

    void readFromWhatIsThere_data() {
        QTest::addColumn<QString>("command"); // empty for none
        QTest::addColumn<int>("approved");    // the mark's first byte, or -1 for none
        QTest::addColumn<bool>("enabled");
        const QString quoted = QStringLiteral("\"C:\\Program Files\\Quenlo\\quenlo.exe\"");
        QTest::newRow("nothing there") << QString() << -1 << false;
        QTest::newRow("quoted, other case") << "\"c:\\program files\\quenlo\\QUENLO.exe\"" << -1 << true;
        QTest::newRow("unquoted") << "C:\\Program Files\\Quenlo\\quenlo.exe" << -1 << false;
        QTest::newRow("on in Task Manager") << quoted << 2 << true;
        QTest::newRow("off in Task Manager") << quoted << 3 << false;
        QTest::newRow("a copy elsewhere") << "\"D:\\Old\\quenlo.exe\"" << -1 << false;
    }
    void readFromWhatIsThere() {
        QFETCH(QString, command);
        QFETCH(int, approved);
        QFETCH(bool, enabled);
        Win32RunAutostart autostart(name, QStringLiteral("C:/Program Files/Quenlo/quenlo.exe"), runKey,
                                    approvedKey);
        QVERIFY(autostart.available());
        if (!command.isEmpty())
            setRunValue(command);
        if (approved >= 0)
            markApproved(static_cast<BYTE>(approved));
        QCOMPARE(autostart.isEnabled(), enabled);
        // Ticking the item makes it start this program, quoted and switched on; unticking removes it.
        QString error;
        QVERIFY2(autostart.setEnabled(true, error), qPrintable(error));
        QCOMPARE(runValue(), QStringLiteral("\"C:\\Program Files\\Quenlo\\quenlo.exe\""));
        QVERIFY(autostart.isEnabled() && !approvedMarkThere());
        QVERIFY(autostart.setEnabled(false, error));
        QCOMPARE(runValue(), QStringLiteral("<none>"));
        QVERIFY(!autostart.isEnabled());
        QVERIFY(autostart.setEnabled(false, error)); // nothing there: nothing to do
    }
};

QTEST_GUILESS_MAIN(TestWin32RunAutostart)
#include "tst_win32runautostart.moc"
