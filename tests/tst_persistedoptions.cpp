// The persisted choices: restore from good and bad stored values, OptionsCheck however an option
// changes, display time.
#include "platform/fakes/fakes.h"
#include "shell/persistedoptions.h"
#include "shell/settingsstore.h"
#include "ui/form1.h"

#include <QAccessible>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

using StoredValues = QMap<QString, QString>;

namespace {
// The controls as the main window creates them at design time.
struct Window {
    Window() {
        check5->setChecked(true);
        check4->setChecked(true);
        group.addButton(opt1);
        group.addButton(opt2);
        opt2->setChecked(true);
        text2->setText(QStringLiteral("5"));
    }
    QWidget widget;
    QCheckBox* check5 = new QCheckBox(&widget);
    QCheckBox* check4 = new QCheckBox(&widget);
    QRadioButton* opt1 = new QRadioButton(&widget);
    QRadioButton* opt2 = new QRadioButton(&widget);
    QLineEdit* text2 = new QLineEdit(&widget);
    QButtonGroup group;
};

struct Fixture {
    explicit Fixture(const QMap<QString, QString>& stored = {}) { backend.values = stored; }
    QString stored(const QString& key) const {
        return backend.values.value(QStringLiteral("Quenlo/Type/") + key, QStringLiteral("<absent>"));
    }
    MemorySettingsBackend backend;
    SettingsStore settings{backend};
    FakeMessageBoxes messages;
    Window window;
    std::int16_t completionKeyCode = 0;
    int hideInterval = 5000;
    PersistedOptions options{{window.check5, window.check4, window.opt1, window.opt2, window.text2},
                             settings,
                             messages,
                             [this](std::int16_t code) { completionKeyCode = code; },
                             [this](int ms) {
                                 hideInterval = ms;
                             }};

    void startUp() {
        options.restore();
        options.OptionsCheck();
    }
};

// The options of the real main window, as the user and assistive tools reach them.
struct OnMainWindow {
    MemorySettingsBackend backend;
    SettingsStore settings{backend};
    FakeMessageBoxes messages;
    Form1 form;
    const Form1::Controls& c = form.ui();
    std::int16_t completionKeyCode = 0;
    PersistedOptions options{{c.Check5, c.Check4, c.Opt1, c.Opt2, c.Text2},
                             settings,
                             messages,
                             [this](std::int16_t code) { completionKeyCode = code; },
                             [](int) {
                             }};
    QStringList optionWrites() const { return backend.writes.filter(QStringLiteral("/Type/Opt")); }
};

StoredValues typeValues(std::initializer_list<std::pair<const char*, const char*>> values) {
    StoredValues map;
    for (const auto& [key, value] : values)
        map.insert(QStringLiteral("Quenlo/Type/") + QLatin1String(key), QLatin1String(value));
    return map;
}
} // namespace

class TestPersistedOptions : public QObject {
    Q_OBJECT
private slots:
    void freshStore();
    void restore_data();
    void restore();
    void clicksAreWritten();
    void optionChange_runsClickHandlingOnce_data();
    void optionChange_runsClickHandlingOnce();
    void writeFailureIsReported();
    void displayTime_data();
    void displayTime();
    void displayTimeMessageOncePerChange();
};

void TestPersistedOptions::freshStore() {
    Fixture f;
    f.startUp();
    QVERIFY(f.window.check4->isChecked());
    QVERIFY(f.window.check5->isChecked());
    QVERIFY(f.window.opt2->isChecked());
    QCOMPARE(f.completionKeyCode, std::int16_t(9));
    QCOMPARE(f.stored("Opt1"), QStringLiteral("False"));
    QCOMPARE(f.stored("Opt2"), QStringLiteral("True"));
    // The boxes did not change, so nothing wrote them.
    QCOMPARE(f.stored("C4"), QStringLiteral("<absent>"));
    QCOMPARE(f.stored("C5"), QStringLiteral("<absent>"));
}

void TestPersistedOptions::restore_data() {
    QTest::addColumn<StoredValues>("stored");
    QTest::addColumn<int>("check5");
    QTest::addColumn<int>("check4");
    QTest::addColumn<bool>("opt1");
    QTest::addColumn<bool>("opt2");
    QTest::addColumn<int>("keyCode");

    QTest::newRow("shift chosen") << typeValues({{"Opt1", "True"}, {"Opt2", "False"}}) << 2 << 2 << true
                                  << false << 16;
    QTest::newRow("any letter case") << typeValues({{"Opt1", "tRUE"}, {"Opt2", "false"}}) << 2 << 2 << true
                                     << false << 16;
    QTest::newRow("numbers as booleans")
        << typeValues({{"Opt1", "-1"}, {"Opt2", "0"}}) << 2 << 2 << true << false << 16;
    QTest::newRow("both false") << typeValues({{"Opt1", "False"}, {"Opt2", "False"}}) << 2 << 2 << false
                                << false << 9;
    QTest::newRow("unchecked boxes") << typeValues({{"C5", "0"}, {"C4", "0"}}) << 0 << 0 << false << true
                                     << 9;
    QTest::newRow("grayed box") << typeValues({{"C5", "2"}}) << 1 << 2 << false << true << 9;
    QTest::newRow("letters keep the design state")
        << typeValues({{"C5", "abc"}, {"C4", "x1"}, {"Opt1", "yes"}, {"Opt2", "maybe"}}) << 2 << 2 << false
        << true << 9;
    QTest::newRow("out of range keeps the design state")
        << typeValues({{"C5", "3"}, {"C4", "-1"}}) << 2 << 2 << false << true << 9;
    QTest::newRow("overflow keeps the design state")
        << typeValues({{"C5", "99999"}}) << 2 << 2 << false << true << 9;
}

void TestPersistedOptions::restore() {
    QFETCH(StoredValues, stored);
    QFETCH(int, check5);
    QFETCH(int, check4);
    QFETCH(bool, opt1);
    QFETCH(bool, opt2);
    QFETCH(int, keyCode);

    Fixture f(stored);
    f.startUp();
    QCOMPARE(int(f.window.check5->checkState()), check5);
    QCOMPARE(int(f.window.check4->checkState()), check4);
    QCOMPARE(f.window.opt1->isChecked(), opt1);
    QCOMPARE(f.window.opt2->isChecked(), opt2);
    QCOMPARE(int(f.completionKeyCode), keyCode);
    QCOMPARE(f.stored("Opt1"), opt1 ? QStringLiteral("True") : QStringLiteral("False"));
    QCOMPARE(f.stored("Opt2"), opt2 ? QStringLiteral("True") : QStringLiteral("False"));
    QVERIFY(f.messages.shown.isEmpty());
}

void TestPersistedOptions::clicksAreWritten() {
    Fixture f;
    f.startUp();
    f.window.check4->click();
    QCOMPARE(f.stored("C4"), QStringLiteral("0"));
    f.window.check4->click();
    QCOMPARE(f.stored("C4"), QStringLiteral("1"));
    f.window.opt1->click();
    QCOMPARE(f.completionKeyCode, std::int16_t(16));
    QCOMPARE(f.stored("Opt1"), QStringLiteral("True"));
    QCOMPARE(f.stored("Opt2"), QStringLiteral("False"));
    f.window.opt2->click();
    QCOMPARE(f.completionKeyCode, std::int16_t(9));
    QCOMPARE(f.stored("Opt2"), QStringLiteral("True"));
}

void TestPersistedOptions::optionChange_runsClickHandlingOnce_data() {
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

void TestPersistedOptions::optionChange_runsClickHandlingOnce() {
    QFETCH(QString, how);
    QFETCH(bool, toShift);
    QFETCH(bool, changes);
    OnMainWindow w;
    w.form.show();
    w.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form));
    w.options.restore();
    w.options.OptionsCheck();
    w.backend.writes.clear();

    QRadioButton* option = toShift ? w.c.Opt1 : w.c.Opt2;
    if (how == "mouse") {
        QTest::mouseClick(option, Qt::LeftButton);
    } else if (how == "arrow") {
        w.c.Opt2->setFocus();
        QTRY_VERIFY(w.c.Opt2->hasFocus());
        QTest::keyClick(w.c.Opt2, Qt::Key_Up);
    } else if (how == "setChecked") {
        option->setChecked(true);
    } else {
        QAccessibleActionInterface* actions =
            QAccessible::queryAccessibleInterface(option)->actionInterface();
        QVERIFY(actions);
        actions->doAction(how == "toggleAction" ? QAccessibleActionInterface::toggleAction()
                                                : QAccessibleActionInterface::pressAction());
    }

    const std::int16_t expectedKey = changes ? 16 : 9;
    QTRY_COMPARE(w.completionKeyCode, expectedKey);
    QTRY_COMPARE(w.c.Opt1->isChecked(), changes);
    const QStringList once = {"Quenlo/Type/Opt1=True", "Quenlo/Type/Opt2=False"};
    QTRY_COMPARE(w.optionWrites(), changes ? once : QStringList());
    QCOMPARE(w.c.Opt2->isChecked(), !changes);
}

void TestPersistedOptions::writeFailureIsReported() {
    Fixture f;
    QStringList failures;
    f.settings.setWriteFailureHandler([&](const QString& what) { failures.append(what); });
    f.backend.writable = false;
    f.window.check5->click();
    QCOMPARE(failures, QStringList({"Type/C5"}));
}

void TestPersistedOptions::displayTime_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("message");
    QTest::newRow("seconds with a fraction") << "2.5" << 2500 << false;
    QTest::newRow("zero switches hiding off") << "0" << 0 << false;
    QTest::newRow("below a millisecond") << "0.0004" << 0 << false;
    QTest::newRow("nearest millisecond") << "1.2346" << 1235 << false;
    QTest::newRow("half to even") << "0.0025" << 2 << false;
    QTest::newRow("longest") << "65.535" << 65535 << false;
    QTest::newRow("blanks around") << " 7 " << 7000 << false;
    QTest::newRow("empty changes nothing") << "" << 5000 << false;
    QTest::newRow("letters") << "5a" << 5000 << true;
    QTest::newRow("negative") << "-1" << 5000 << true;
    QTest::newRow("too long for the timer") << "65.536" << 5000 << true;
    QTest::newRow("huge") << "1e300" << 5000 << true;
}

void TestPersistedOptions::displayTime() {
    QFETCH(QString, text);
    QFETCH(int, interval);
    QFETCH(bool, message);

    Fixture f;
    f.window.text2->setText(text);
    QCOMPARE(f.hideInterval, interval);
    QCOMPARE(f.messages.shown.size(), message ? 1 : 0);
    if (message) {
        QCOMPARE(f.messages.shown.front().text, QStringLiteral("Value Must be Numberic"));
        QCOMPARE(f.messages.shown.front().title, QStringLiteral("Quenlo"));
        QCOMPARE(f.window.text2->text(), text);
    }
}

void TestPersistedOptions::displayTimeMessageOncePerChange() {
    Fixture f;
    f.window.text2->setFocus();
    f.window.text2->end(false);
    QTest::keyClick(f.window.text2, Qt::Key_X);
    QCOMPARE(f.messages.shown.size(), 1);
    QTest::keyClick(f.window.text2, Qt::Key_Backspace);
    QCOMPARE(f.messages.shown.size(), 1);
    QCOMPARE(f.hideInterval, 5000);
    f.window.text2->clear();
    QCOMPARE(f.messages.shown.size(), 1);
    QCOMPARE(f.hideInterval, 5000);
}

QTEST_MAIN(TestPersistedOptions)
#include "tst_persistedoptions.moc"
