// The program's privacy choices through fakes: the switch and the exclusion list kept in the
// settings store, the pause and its status line as the focus moves, and the exclusion dialog.
#include "programrig.h"
#include "shell/privacyguard.h"
#include "tests/testfiles.h"
#include "tools/wordsfile.h"
#include "ui/excludedapplicationsdialog.h"
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString excludedKey = QStringLiteral("Quenlo/Privacy/ExcludedApplications");
const QString protectKey = QStringLiteral("Quenlo/Privacy/ProtectPasswordFields");

struct Fixture : ProgramRig {
    explicit Fixture(const QString& databasePath)
        : ProgramRig(databasePath) {}
    void start() { ProgramRig::start(&focus); }
    QString status() const { return program->mainWindow().pauseNotice(); }
    ExcludedApplicationsDialog* dialog() const {
        return program->mainWindow().findChild<ExcludedApplicationsDialog*>();
    }
    QPushButton* dialogButton(const char* name) const { return dialog()->findChild<QPushButton*>(name); }
};
} // namespace

class TestPrivacyGuard : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_database = m_dir.filePath("words.mdb");

private slots:
    void init() {
        QFile::remove(m_database);
        QVERIFY(createWordsDatabase(m_database, {{"hello", {}}}));
    }

    void storedSwitch_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("fresh store: on") << QString() << true;
        QTest::newRow("False") << "False" << false;
        QTest::newRow("no Boolean: stays on") << "maybe" << true;
    }
    void storedSwitch() {
        QFETCH(QString, stored);
        QFETCH(bool, on);
        Fixture f(m_database);
        if (!stored.isEmpty())
            f.settings.values.insert(protectKey, stored);
        f.start();
        const Form1::Controls& ui = f.program->mainWindow().ui();
        QCOMPARE(ui.ProtectPasswordFields->isChecked(), on);
        QCOMPARE(f.focus.watchesPasswordFields, on);
        // A password field pauses only while the switch is on; turning it over is stored at once.
        f.focus.setPasswordField(true);
        QCOMPARE(f.program->engine().paused(), on);
        ui.ProtectPasswordFields->trigger();
        QCOMPARE(f.settings.values.value(protectKey), on ? QString("False") : QString("True"));
        QCOMPARE(f.focus.watchesPasswordFields, !on);
        QCOMPARE(f.program->engine().paused(), !on);
    }

    void pauseFollowsFocusAndSaysWhy() {
        Fixture f(m_database);
        f.settings.values.insert(excludedKey, R"([{"id":"KeePassXC","name":"KeePassXC"}])");
        f.start();
        f.focus.focusApplication("Gedit");
        QVERIFY(!f.focus.ownHoldPossible);
        f.type("hel");
        QVERIFY(f.popupShown());
        QVERIFY(f.focus.ownHoldPossible); // only while the pop-up is up
        QCOMPARE(f.status(), QString());

        // Into a password field: the open pop-up goes at once.
        f.focus.setPasswordField(true);
        QVERIFY(!f.popupShown());
        QVERIFY(!f.focus.ownHoldPossible);
        QCOMPARE(f.status(), QString("Completion paused: password field"));

        f.focus.setPasswordField(false);
        f.type("hel");
        QVERIFY(f.popupShown());

        f.focus.focusApplication("keepassxc");
        QCOMPARE(f.status(), QString("Completion paused: excluded: KeePassXC"));
        QVERIFY(!f.popupShown());
        f.focus.focusApplication("XTerm");
        QCOMPARE(f.status(), QString());
        QVERIFY(!f.program->engine().paused());

        // A field being asked keeps its word unseen: offered once the field proves plain, forgotten
        // with a password field, started afresh in the next field.
        f.focus.answerField(true, false);
        f.type("hel");
        QVERIFY(!f.popupShown());
        QCOMPARE(f.status(), QString());
        f.focus.answerField(false, false);
        QVERIFY(f.popupShown());
        f.focus.answerField(true, false);
        QVERIFY(!f.popupShown());
        f.type("he");
        f.focus.answerField(false, true);
        f.focus.answerField(false, false);
        f.type("l");
        QVERIFY(!f.popupShown());
    }

    void wordsCountedForLearningOutliveOnlyAFieldBeingAsked() {
        Fixture f(m_database);
        f.settings.values.insert("Quenlo/Options/LearnNewWords", "1");
        f.start();
        f.focus.focusApplication("Gedit");
        const QString learnt = "select count(*) from Words where Learned is not null";
        const auto askField = [&f](bool password) {
            f.focus.answerField(true, false);
            f.focus.answerField(false, password);
            f.focus.setPasswordField(false);
        };
        f.typeWord("zorblat");
        f.typeWord("zorblat");
        askField(true); // the field turns out to be a password field
        f.typeWord("zorblat");
        QCOMPARE(column(f.words, learnt), QStringList{"0"});
        f.typeWord("zorblat");
        askField(false);
        f.typeWord("zorblat");
        QCOMPARE(column(f.words, learnt), QStringList{"1"});
    }

    void unreachableAccessibilityBusIsTold() {
        Fixture f(m_database);
        f.start();
        FocusState state = f.focus.state();
        state.passwordFieldsProblem = "the accessibility bus cannot be found";
        f.focus.change(state);
        f.focus.change(state); // told once
        const QString told = "Password fields cannot be told apart, so completion goes on in them: the "
                             "accessibility bus cannot be found.";
        QCOMPARE(f.program->mainWindow().notice(), told);
        QVERIFY(f.tray.tip.endsWith("\n" + told));
        QCOMPARE(f.status(), QString());
    }

    void exclusionDialogEditsStoredList() {
        Fixture f(m_database);
        f.start();
        f.focus.focusApplication("KeePassXC");
        // Opening the window moves the focus to this program; the application before it is offered.
        f.focus.focusApplication("quenlo", true);
        f.program->mainWindow().ui().ExcludedApplications->trigger();
        QVERIFY(f.dialog());
        QCOMPARE(f.dialogButton("addPreviousApplication")->text(), QString("Add KeePassXC"));
        f.dialogButton("addPreviousApplication")->click();
        f.dialog()->findChild<QLineEdit*>("applicationName")->setText(" Gcr-prompter ");
        f.dialogButton("addByName")->click();
        f.dialog()->accept();
        QCOMPARE(
            f.settings.values.value(excludedKey),
            QString(
                R"([{"id":"KeePassXC","name":"KeePassXC"},{"id":"Gcr-prompter","name":"Gcr-prompter"}])"));

        QTRY_VERIFY(!f.dialog()); // deleted on close
        f.focus.focusApplication("KeePassXC");
        QCOMPARE(f.status(), QString("Completion paused: excluded: KeePassXC"));

        // Removing it brings completion back at once; a cancelled dialog changes nothing.
        f.program->editExcludedApplications();
        QTRY_VERIFY(f.dialog());
        f.dialog()->findChild<QListWidget*>("excludedList")->setCurrentRow(0);
        f.dialogButton("removeExcluded")->click();
        f.dialog()->accept();
        QCOMPARE(f.status(), QString());
        QCOMPARE(f.program->privacy().excludedApplications().size(), 1);
        QTRY_VERIFY(!f.dialog()); // deleted on close
        f.program->editExcludedApplications();
        QTRY_VERIFY(f.dialog());
        f.dialogButton("removeExcluded")->click();
        f.dialog()->reject();
        QCOMPARE(f.program->privacy().excludedApplications().size(), 1);
    }

    void dialogKeepsOneEntryPerApplication() {
        ExcludedApplicationsDialog none({}, {});
        QVERIFY(!none.findChild<QPushButton*>("addPreviousApplication")->isEnabled());
        QVERIFY(!none.findChild<QPushButton*>("removeExcluded")->isEnabled());
        none.findChild<QLineEdit*>("applicationName")->setText("   ");
        none.addTypedName();
        QVERIFY(none.entries().isEmpty());

        ExcludedApplicationsDialog dialog({{"XTerm", "XTerm"}}, {"KeePassXC", "KeePassXC"});
        dialog.addEntry({"xterm", "xterm"});
        dialog.findChild<QPushButton*>("addPreviousApplication")->click();
        dialog.findChild<QPushButton*>("addPreviousApplication")->click();
        QCOMPARE(dialog.entries(),
                 (QList<ExcludedApplicationsDialog::Entry>{{"XTerm", "XTerm"}, {"KeePassXC", "KeePassXC"}}));
        dialog.removeSelected(); // the entry just added is the selected one
        QCOMPARE(dialog.entries().size(), 1);
    }
};

QTEST_MAIN(TestPrivacyGuard)
#include "tst_privacyguard.moc"
