// The program's privacy choices through fakes: the switch and the exclusion list kept in the
// settings store, the pause and its status line as the focus moves, and the exclusion dialog.
#include "engine/completionengine.h"
#include "engine/suggestionpopup.h"
#include "platform/fakes/fakes.h"
#include "platform/fakes/testfocusguard.h"
#include "platform/fakes/testkeyboardhook.h"
#include "platform/sqliteconnection.h"
#include "platform/wordsfile.h"
#include "shell/privacyguard.h"
#include "shell/quenloprogram.h"
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
constexpr int tabKey = 9;
const QString excludedKey = QStringLiteral("Quenlo/Privacy/ExcludedApplications");
const QString protectKey = QStringLiteral("Quenlo/Privacy/ProtectPasswordFields");

struct Fixture {
    Fixture() {
        QString error;
        if (!dir.isValid() || !createWordsDatabase(dir.filePath("words.mdb"), {{"hello", {}}}, &error))
            qFatal("cannot create the words database: %s", qPrintable(error));
    }
    QuenloProgram& start() {
        program = std::make_unique<QuenloProgram>(ProgramServices{settings,
                                                                  tray,
                                                                  fileDialogs,
                                                                  messages,
                                                                  webPages,
                                                                  clipboard,
                                                                  hook,
                                                                  injector,
                                                                  words,
                                                                  QString(),
                                                                  {},
                                                                  {}},
                                                  &focus);
        program->load();
        return *program;
    }
    void type(const QString& letters) {
        for (const QChar letter : letters)
            hook.press(letter.toUpper().unicode());
    }
    bool popupShown() const {
        const SuggestionPopup* popup = program->engine().existingPopup();
        return popup && popup->isVisible();
    }
    QString status() const { return program->mainWindow().pauseNotice(); }
    ExcludedApplicationsDialog* dialog() const {
        return program->mainWindow().findChild<ExcludedApplicationsDialog*>();
    }
    QPushButton* dialogButton(const char* name) const { return dialog()->findChild<QPushButton*>(name); }

    QTemporaryDir dir;
    MemorySettingsBackend settings;
    FakeTrayIcon tray;
    FakeFileDialogs fileDialogs;
    FakeMessageBoxes messages;
    FakeWebPages webPages;
    FakeClipboard clipboard;
    TestKeyboardHook hook;
    RecordingKeyInjector injector;
    TestFocusGuard focus;
    SqliteConnection words{dir.filePath("words.mdb")};
    std::unique_ptr<QuenloProgram> program;
};
} // namespace

class TestPrivacyGuard : public QObject {
    Q_OBJECT
private slots:
    void storedSwitch_data();
    void storedSwitch();
    void pauseFollowsFocusAndSaysWhy();
    void ownKeyboardHoldFollowsPopup();
    void exclusionDialogEditsStoredList();
    void dialogKeepsOneEntryPerApplication();
};

void TestPrivacyGuard::storedSwitch_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("fresh store: on") << QString() << true;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("no Boolean: stays on") << "maybe" << true;
}

void TestPrivacyGuard::storedSwitch() {
    QFETCH(QString, stored);
    QFETCH(bool, on);
    Fixture f;
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

void TestPrivacyGuard::pauseFollowsFocusAndSaysWhy() {
    Fixture f;
    f.settings.values.insert(excludedKey, R"([{"id":"KeePassXC","name":"KeePassXC"}])");
    f.start();
    f.focus.focusApplication("Gedit");
    f.type("hel");
    QVERIFY(f.popupShown());
    QCOMPARE(f.status(), QString());

    // Into a password field: the open pop-up goes at once, the word is forgotten, Tab passes.
    f.focus.setPasswordField(true);
    QVERIFY(!f.popupShown());
    QCOMPARE(f.status(), QString("Completion paused: password field"));
    f.type("hel");
    QCOMPARE(f.hook.press(tabKey).value_or(-1), 0);
    QVERIFY(!f.popupShown());
    QCOMPARE(f.program->mainWindow().ui().Text5->text(), QString());

    f.focus.setPasswordField(false);
    QCOMPARE(f.status(), QString());
    f.type("hel");
    QVERIFY(f.popupShown());

    f.focus.focusApplication("keepassxc");
    QCOMPARE(f.status(), QString("Completion paused: excluded: KeePassXC"));
    QVERIFY(!f.popupShown());
    f.focus.setKeyboardHeld(true);
    QCOMPARE(f.status(), QString("Completion paused: another program holds the keyboard"));
    f.focus.setKeyboardHeld(false);
    f.focus.focusApplication("XTerm");
    QCOMPARE(f.status(), QString());
    QVERIFY(!f.program->engine().paused());
}

void TestPrivacyGuard::ownKeyboardHoldFollowsPopup() {
    Fixture f;
    f.start();
    QVERIFY(!f.focus.ownHoldPossible);
    f.type("hel");
    QVERIFY(f.focus.ownHoldPossible);
    f.hook.press(tabKey);
    QVERIFY(!f.focus.ownHoldPossible);
}

void TestPrivacyGuard::exclusionDialogEditsStoredList() {
    Fixture f;
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
        QString(R"([{"id":"KeePassXC","name":"KeePassXC"},{"id":"Gcr-prompter","name":"Gcr-prompter"}])"));

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

void TestPrivacyGuard::dialogKeepsOneEntryPerApplication() {
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

QTEST_MAIN(TestPrivacyGuard)
#include "tst_privacyguard.moc"
