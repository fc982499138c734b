// The persisted choices, the real settings store, and numbers read from text boxes in any locale.
#include "platform/settingsbackend.h"
#include "shell/persistedoptions.h"
#include "shell/settingsstore.h"
#include "store/localenumber.h"
#include "tests/fakes/fakes.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using StoredValues = QMap<QString, QString>;

namespace {
// The options of the main window, as the user and assistive tools reach them.
struct Fixture {
    explicit Fixture(const StoredValues& stored = {}) { backend.values = stored; }
    QString stored(const QString& key) const {
        return backend.values.value("Quenlo/Type/" + key, "<absent>");
    }
    void startUp() {
        options.restore();
        options.OptionsCheck();
    }
    MemorySettingsBackend backend;
    SettingsStore settings{backend};
    FakeMessageBoxes messages;
    Form1 form;
    const Form1::Controls& c = form.ui();
    std::int16_t completionKeyCode = 0;
    int hideInterval = 5000;
    PersistedOptions options{{c.Check5, c.Check4, c.Opt1, c.Opt2, c.Text2},
                             settings,
                             messages,
                             [this](std::int16_t code) { completionKeyCode = code; },
                             [this](int ms) {
                                 hideInterval = ms;
                             }};
};
} // namespace

class TestPersistedOptions : public QObject {
    Q_OBJECT
private slots:
    void restore_data() {
        QTest::addColumn<StoredValues>("stored");
        QTest::addColumn<int>("check5");
        QTest::addColumn<int>("check4");
        QTest::addColumn<bool>("opt1");
        QTest::addColumn<bool>("opt2");
        QTest::addColumn<int>("keyCode");
        const auto row = [](const char* name,
                            std::initializer_list<std::pair<const char*, const char*>> values, int check5,
                            int check4, bool opt1, bool opt2, int keyCode) {
            StoredValues stored;
            for (const auto& [key, value] : values)
                stored.insert("Quenlo/Type/" + QString(key), value);
            QTest::newRow(name) << stored << check5 << check4 << opt1 << opt2 << keyCode;
        };
        row("nothing stored", {}, 2, 2, false, true, 9);
        row("shift chosen", {{"Opt1", "True"}, {"Opt2", "False"}}, 2, 2, true, false, 16);
        row("any letter case", {{"Opt1", "tRUE"}, {"Opt2", "false"}}, 2, 2, true, false, 16);
        row("numbers as booleans", {{"Opt1", "-1"}, {"Opt2", "0"}}, 2, 2, true, false, 16);
        row("both false", {{"Opt1", "False"}, {"Opt2", "False"}}, 2, 2, false, false, 9);
        row("unchecked boxes", {{"C5", "0"}, {"C4", "0"}}, 0, 0, false, true, 9);
        row("grayed box", {{"C5", "2"}}, 1, 2, false, true, 9);
        row("letters keep the design state",
            {{"C5", "abc"}, {"C4", "x1"}, {"Opt1", "yes"}, {"Opt2", "maybe"}}, 2, 2, false, true, 9);
        row("out of range keeps the design state", {{"C5", "3"}, {"C4", "-1"}}, 2, 2, false, true, 9);
        row("overflow keeps the design state", {{"C5", "99999"}}, 2, 2, false, true, 9);
    }
    void restore() {
        QFETCH(StoredValues, stored);
        QFETCH(bool, opt1);
        QFETCH(bool, opt2);
        Fixture f(stored);
        f.startUp();
        QTEST(int(f.c.Check5->checkState()), "check5");
        QTEST(int(f.c.Check4->checkState()), "check4");
        QCOMPARE(f.c.Opt1->isChecked(), opt1);
        QCOMPARE(f.c.Opt2->isChecked(), opt2);
        QTEST(int(f.completionKeyCode), "keyCode");
        QCOMPARE(f.stored("Opt1"), opt1 ? "True" : "False");
        QCOMPARE(f.stored("Opt2"), opt2 ? "True" : "False");
        // The boxes did not change, so nothing wrote them.
        QCOMPARE(f.stored("C4"), stored.value("Quenlo/Type/C4", "<absent>"));
        QCOMPARE(f.stored("C5"), stored.value("Quenlo/Type/C5", "<absent>"));
        QVERIFY(f.messages.shown.isEmpty());
    }

    void optionChange_runsClickHandlingOnce_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("toShift"); // false: the action is on the selected Tab option
        QTest::addColumn<bool>("changes");
        QTest::newRow("mouse") << "mouse" << true << true;
        QTest::newRow("Up arrow from Tab") << "arrow" << true << true;
        QTest::newRow("accessible toggle") << "toggleAction" << true << true;
        QTest::newRow("accessible press") << "pressAction" << true << true;
        QTest::newRow("the program") << "setChecked" << true << true;
        QTest::newRow("mouse on the selected one") << "mouse" << false << false;
        QTest::newRow("accessible toggle on the selected one") << "toggleAction" << false << false;
    }
    void optionChange_runsClickHandlingOnce() {
        QFETCH(QString, how);
        QFETCH(bool, toShift);
        QFETCH(bool, changes);
        Fixture f;
        f.form.show();
        f.form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        f.startUp();
        f.backend.writes.clear();

        QRadioButton* option = toShift ? f.c.Opt1 : f.c.Opt2;
        if (how == "mouse") {
            QTest::mouseClick(option, Qt::LeftButton);
        } else if (how == "arrow") {
            f.c.Opt2->setFocus();
            QTRY_VERIFY(f.c.Opt2->hasFocus());
            QTest::keyClick(f.c.Opt2, Qt::Key_Up);
        } else if (how == "setChecked") {
            option->setChecked(true);
        } else {
            QAccessibleActionInterface* actions =
                QAccessible::queryAccessibleInterface(option)->actionInterface();
            QVERIFY(actions);
            actions->doAction(how == "toggleAction" ? QAccessibleActionInterface::toggleAction()
                                                    : QAccessibleActionInterface::pressAction());
        }
        QTRY_COMPARE(f.completionKeyCode, std::int16_t(changes ? 16 : 9));
        QTRY_COMPARE(f.c.Opt1->isChecked(), changes);
        const QStringList once = {"Quenlo/Type/Opt1=True", "Quenlo/Type/Opt2=False"};
        QTRY_COMPARE(f.backend.writes.filter("/Type/Opt"), changes ? once : QStringList());
        QCOMPARE(f.c.Opt2->isChecked(), !changes);
    }

    // Each click is written at once, and a write the store refuses is reported.
    void clicksAreWritten() {
        Fixture f;
        f.startUp();
        f.c.Check4->click();
        QCOMPARE(f.stored("C4"), QString("0"));
        f.c.Check4->click();
        QCOMPARE(f.stored("C4"), QString("1"));
        QStringList failures;
        f.settings.setWriteFailureHandler([&](const QString& what) { failures.append(what); });
        f.backend.writable = false;
        f.c.Check5->click();
        QCOMPARE(failures, QStringList({"Type/C5"}));
    }

    void displayTime_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("message");
        QTest::newRow("seconds with a fraction") << "2.5" << 2500 << false;
        QTest::newRow("zero switches hiding off") << "0" << 0 << false;
        QTest::newRow("below a millisecond") << "0.0004" << 0 << false;
        QTest::newRow("nearest millisecond") << "1.2346" << 1235 << false;
        QTest::newRow("half to even") << "0.0025" << 2 << false;
        QTest::newRow("longest") << "65.535" << 65535 << false;
        QTest::newRow("empty changes nothing") << "" << 5000 << false;
        QTest::newRow("letters") << "5a" << 5000 << true;
        QTest::newRow("negative") << "-1" << 5000 << true;
        QTest::newRow("too long for the timer") << "65.536" << 5000 << true;
    }
    void displayTime() {
        QFETCH(QString, text);
        QFETCH(bool, message);
        Fixture f;
        f.c.Text2->setText(text);
        QTEST(f.hideInterval, "interval");
        QCOMPARE(f.messages.shown.size(), message ? 1 : 0);
        if (message) {
            QCOMPARE(f.messages.shown.front().text, QString("Value Must be Numberic"));
            QCOMPARE(f.messages.shown.front().title, QString("Quenlo"));
            QCOMPARE(f.c.Text2->text(), text);
        }
    }

    void displayTimeMessageOncePerChange() {
        Fixture f;
        f.c.Text2->setFocus();
        f.c.Text2->end(false);
        QTest::keyClick(f.c.Text2, Qt::Key_X);
        QCOMPARE(f.messages.shown.size(), 1);
        QTest::keyClick(f.c.Text2, Qt::Key_Backspace);
        f.c.Text2->clear();
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.hideInterval, 5000);
    }

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

    void parse_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        // Plain numbers, empty text and letters are the display time's rows.
        const auto row = [](const char* name, const char* locale, const char* text, bool isNumber,
                            double value = 0) {
            QTest::newRow(name) << QString(locale) << QString(text) << isNumber << value;
        };
        row("blanks around", "en_US", "  3 \t", true, 3.0);
        row("signs", "en_US", "-1.25", true, -1.25);
        row("leading point", "en_US", ".5", true, 0.5);
        row("grouping", "en_US", "1,234.5", true, 1234.5);
        row("loose grouping", "en_US", "1,2,3", true, 123.0);
        row("exponent", "en_US", "1.5e3", true, 1500.0);
        row("german decimal", "de_DE", "2,5", true, 2.5);
        row("german grouping", "de_DE", "1.000,5", true, 1000.5);
        row("french grouping with space", "fr_FR", "1 000", true, 1000.0);
        row("blanks only", "en_US", "   ", false);
        row("letter after digit", "en_US", "5x", false);
        row("inner blank", "en_US", "1 2", false);
        row("exponent without digits", "en_US", "1e", false);
        row("leading group separator", "en_US", ",5", false);
        row("german group point", "de_DE", "2.5", true, 25.0);
        row("foreign decimal", "de_DE", "2,5,1", false);
        row("overflow", "en_US", "1e999", false);
    }
    void parse() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, isNumber);

        const std::optional<double> parsed = parseLocaleNumber(text, QLocale(locale));
        QCOMPARE(parsed.has_value(), isNumber);
        if (isNumber)
            QTEST(*parsed, "value");
    }
};

QTEST_MAIN(TestPersistedOptions)
#include "tst_persistedoptions.moc"
