// The whole program through fakes: start-up, the menus and their stored choices, the privacy
// choices and the pause, and which word database it opens and the user's copy of the default.
#include "programrig.h"
#include "shell/privacyguard.h"
#include "shell/worddatabaseplace.h"
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"
#include "store/wordranking.h"
#include "tests/testfiles.h"
#include "tools/wordsfile.h"
#include "ui/excludedapplicationsdialog.h"
#include "ui/form1.h"
#include "ui/suggestionpopup.h"
#include "ui/wordlistsdialog.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int tabKey = 9;
const QString excludedKey = QStringLiteral("Quenlo/Privacy/ExcludedApplications");
const QString protectKey = QStringLiteral("Quenlo/Privacy/ProtectPasswordFields");

// The program with the test focus guard, so that completion can pause.
struct Guarded : ProgramRig {
    explicit Guarded(const QString& databasePath)
        : ProgramRig(databasePath) {}
    void start() { ProgramRig::start(&focus); }
    QString status() const { return program->mainWindow().pauseNotice(); }
    ExcludedApplicationsDialog* dialog() const {
        return program->mainWindow().findChild<ExcludedApplicationsDialog*>();
    }
    QPushButton* dialogButton(const char* name) const { return dialog()->findChild<QPushButton*>(name); }
};
} // namespace

class TestQuenloProgram : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_database;

private slots:
    void init() {
        m_database = m_dir.filePath(QString(QTest::currentTestFunction()) + QTest::currentDataTag() + ".mdb");
        QFile::remove(m_database);
        QVERIFY(
            createWordsDatabase(m_database, {{"hello", {}}, {"help", {}}, {"helmet", "1"}, {"world", {}}}));
    }

    void savedFileNameIsRestored() {
        ProgramRig f(m_database);
        f.settings.values.insert("Quenlo/File/Save", m_dir.filePath("saved.txt"));
        QCOMPARE(f.start().wordListFiles().currentFileName(), m_dir.filePath("saved.txt"));
    }

    void autoImport_data() {
        QTest::addColumn<QString>("autoImport");
        QTest::addColumn<QByteArray>("file"); // null: no file named
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("notice"); // what the window tells after the file's name
        const QByteArray list("zebra\r\nab\r\napple\r\n");
        QTest::newRow("on, with a file") << "1" << list << 2 << "";
        QTest::newRow("on, no file named") << "1" << QByteArray() << 0 << "";
        QTest::newRow("off") << "0" << list << 0 << "";
        QTest::newRow("letters") << "yes" << list << 0 << "";
        // Told in the window, as other start-up problems are, and start-up goes on to its end.
        QTest::newRow("on, a hostile file") << "1" << QByteArray(50 * 1024 * 1024, 'x') << 0
                                            << "\" is longer than 4096 bytes and was not imported.";
    }
    void autoImport() {
        QFETCH(QString, autoImport);
        QFETCH(QByteArray, file);
        QFETCH(QString, notice);
        const QString path = writeFile(m_dir.filePath("list.txt"), file);
        ProgramRig f(m_database);
        f.settings.values.insert("Quenlo/Options/AutoImort", autoImport);
        if (!file.isNull())
            f.settings.values.insert("Quenlo/File/Import", path);
        QuenloProgram& program = f.start();
        QTEST(program.wordList().rowCount(), "rows");
        QVERIFY(f.messages.shown.isEmpty());
        // A file read or left alone is nothing to tell; a problem names the file as the system writes it.
        const QString told = program.mainWindow().notice();
        if (!file.isNull())
            QVERIFY2(notice.isEmpty() ? told.isEmpty()
                                      : told.contains('"' + QDir::toNativeSeparators(path) + notice),
                     qPrintable(told));
        // The database is untouched by an import.
        QCOMPARE(column(f.words, "select count(*) from Words"), QStringList{"4"});
        f.type("hel");
        QVERIFY(f.popupShown());
    }

    // A German user's first start picks the German list; the menu swaps it for the French one in its
    // own encoding, keeping the German word completed meanwhile.
    void wordListsOfTheUsersLanguage() {
        const QString dict = m_dir.filePath("dict");
        writeFile(dict + "/ngerman", "Stra\xC3\x9F"
                                     "e\nsch\xC3\xB6n\n");
        writeFile(dict + "/french", "\xE9"
                                    "clair\ngar\xE7on\n");
        ProgramRig f(m_database);
        f.localeName = "de_DE.UTF-8"; // as LANG names it
        f.wordListFolder = dict;
        f.wordDatabaseMade = true;
        const Form1::Controls& ui = f.start().mainWindow().ui();
        QTRY_COMPARE(f.setting("Options/WordLists"), QString("ngerman"));
        f.type("sch");
        f.hook.press(tabKey);
        QCOMPARE(f.clipboard.text, QString("ön"));
        QCoreApplication::processEvents(); // the use is counted

        ui.WordLists->trigger();
        WordListsDialog* dialog = nullptr; // one closed before may not be gone yet
        for (auto* shown : f.program->mainWindow().findChildren<WordListsDialog*>())
            dialog = shown->isVisible() ? shown : dialog;
        QVERIFY(dialog);
        auto* lists = dialog->findChild<QListWidget*>("wordLists");
        for (int row = 0; row < lists->count(); ++row)
            lists->item(row)->setCheckState(lists->item(row)->text().endsWith(" french") ? Qt::Checked
                                                                                         : Qt::Unchecked);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(f.setting("Options/WordLists"), QString("french"));
        QCOMPARE(column(f.words, "select Text1 from Words where Type1 is null order by 1 "),
                 (QStringList{"garçon", "hello", "help", "schön", "world", "éclair"}));
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(f.program->mainWindow().centralWidget()->isEnabled());
    }

    // Without the system's lists the menu adds a file the user picks.
    void wordListFileWithoutSystemLists() {
        const QString list = writeFile(m_dir.filePath("words.txt"), "Quader\r\nQuelle\r\n");
        ProgramRig f(m_database);
        f.wordDatabaseMade = true; // and no list to pick
        f.fileDialogs.answers = {list};
        f.start().mainWindow().ui().WordLists->trigger();
        QCOMPARE(f.fileDialogs.shown, QStringList{"open"});
        f.type("qua");
        QVERIFY(f.popupShown());
        QCOMPARE(f.setting("Options/WordLists"), QString("<absent>"));
    }

    void missingDatabase() {
        ProgramRig f(m_dir.filePath("nowhere.mdb"));
        f.start();
        QCOMPARE(f.words.state(), 0);
        QVERIFY2(f.words.lastError().contains("nowhere.mdb"), qPrintable(f.words.lastError()));
        QVERIFY(f.tray.shown());
        f.type("hel");
        QVERIFY(!f.popupShown());
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(!QFile::exists(m_dir.filePath("nowhere.mdb")));
    }

    void showBoxesKeepTheFocus_data() {
        QTest::addColumn<bool>("custom");
        QTest::addColumn<QString>("how");
        QTest::newRow("Space on Show Default Words") << false << "Space";
        QTest::newRow("click on Show Custom Words") << true << "click";
        // What a screen reader or voice control does: a toggle without any click.
        QTest::newRow("accessibility toggle on Show Default Words") << false << "toggle action";
    }
    void showBoxesKeepTheFocus() {
        QFETCH(bool, custom);
        QFETCH(QString, how);
        ProgramRig f(m_database);
        QuenloProgram& program = f.start();
        Form1& window = program.mainWindow();
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCheckBox* box = custom ? window.ui().Check3 : window.ui().Check2;
        box->setFocus(Qt::TabFocusReason);
        const auto press = [&] {
            if (how == "click") {
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
            } else if (how == "Space") {
                QTest::keyClick(box, Qt::Key_Space);
            } else {
                QAccessibleActionInterface* actions =
                    QAccessible::queryAccessibleInterface(box)->actionInterface();
                QVERIFY(actions);
                actions->doAction(QAccessibleActionInterface::toggleAction());
            }
        };
        press();
        QVERIFY(box->isChecked());
        QCOMPARE(program.wordList().count(), custom ? 1 : 3);
        QCOMPARE(QApplication::focusWidget(), box);
        // The next press is the user's second thought about the same box, not about another one.
        press();
        QVERIFY(!box->isChecked());
        QCOMPARE(QApplication::focusWidget(), box);
        QVERIFY(window.ui().Check4->isChecked() && window.ui().Check5->isChecked());
        QCOMPARE(f.setting("Type/C4"), QString("<absent>"));
        QCOMPARE(f.setting("Type/C5"), QString("<absent>"));
    }

    // Problems are told in the window and the tray's tip, never in a box; one found later joins the
    // others rather than hiding them, and one said again is told once.
    void problemsAreToldOnce() {
        Guarded f(m_database);
        f.keyboardProblem = "no X display";
        f.start();
        QuenloProgram& program = *f.program;
        QVERIFY(program.mainWindow().notice().contains("no X display"));
        QVERIFY(f.tray.tip.contains("no X display"));
        program.showProblem("no place for the pop-up");
        FocusState state = f.focus.state();
        state.passwordFieldsProblem = "the accessibility bus cannot be found";
        f.focus.change(state);
        f.focus.change(state);
        const QString told = "Password fields cannot be told apart, so completion goes on in them: the "
                             "accessibility bus cannot be found.";
        const QString notice = program.mainWindow().notice();
        QVERIFY2(notice.contains("no X display") && notice.count(told) == 1, qPrintable(notice));
        QVERIFY(f.tray.tip.contains("no X display") && f.tray.tip.contains("no place for the pop-up"));
        QVERIFY(f.tray.tip.endsWith("\n" + told) && f.tray.tip.count(told) == 1);
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(f.status(), QString()); // completion goes on
    }

    void runMinimized_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("hasTray");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("minimized");
        QTest::newRow("never set") << "<absent>" << true << true << false;
        QTest::newRow("off") << "0" << true << true << false;
        QTest::newRow("on: hidden to the tray") << "1" << true << false << false;
        QTest::newRow("on, no tray: minimized") << "1" << false << true << true;
    }
    void runMinimized() {
        QFETCH(QString, stored);
        QFETCH(bool, hasTray);
        ProgramRig f(m_database);
        if (stored != "<absent>")
            f.settings.values.insert("Quenlo/Options/RunMinimized", stored);
        f.tray.hasNotificationArea = hasTray;
        QuenloProgram& program = f.start();
        program.showMainWindow();
        QAction* item = program.mainWindow().ui().RunMinimized;
        QCOMPARE(item->isChecked(), stored == "1");
        QTEST(program.mainWindow().isVisible(), "shown");
        QTEST(program.mainWindow().isMinimized(), "minimized");
        QCOMPARE(f.tray.shown(), hasTray);
        QCOMPARE(program.mainWindow().notice().contains("no notification area"), !hasTray);
        // Each click is kept at once.
        item->trigger();
        QCOMPARE(f.setting("Options/RunMinimized"), stored == "1" ? "0" : "1");
        item->trigger();
        QCOMPARE(f.setting("Options/RunMinimized"), stored == "1" ? "1" : "0");
        // The window refuses its close box and leaves it to the program: it hides to the icon; with no
        // icon to come back from, it ends the program.
        program.mainWindow().show();
        QVERIFY(!program.mainWindow().close());
        QVERIFY(!program.mainWindow().isVisible());
        QCOMPARE(f.tray.shown(), hasTray);
        QCOMPARE(f.words.state(), hasTray ? 1 : 0);
        if (!hasTray)
            return;
        // Exit ends it from there: the icon and the pop-up go, the database is closed.
        f.type("hel");
        QVERIFY(f.popupShown());
        program.mainWindow().ui().Exit->trigger();
        QVERIFY(!f.tray.shown() && !f.popupShown());
        QCOMPARE(f.words.state(), 0);
        QVERIFY(f.messages.shown.isEmpty());
    }

    void startWithSession() {
        // Switching it on and off through the menu is the package suite's; here what it cannot see.
        ProgramRig f(m_database);
        const Form1::Controls& ui = f.start().mainWindow().ui();
        QAction* item = ui.StartWithSession;
        QVERIFY(item->isVisible() && !item->isChecked());

        // A refusal is said, and the check mark shows what is really there.
        f.autostart.failure = "read-only folder";
        item->trigger();
        QCOMPARE(f.autostart.requests, QList<bool>{true});
        QVERIFY(!item->isChecked());
        QCOMPARE(f.messages.shown.size(), 1);
        QVERIFY(f.messages.shown[0].text.contains("read-only folder"));

        // Changed behind the program's back: the menu shows it the next time it opens.
        f.autostart.enabled = true;
        emit ui.Options->aboutToShow();
        QVERIFY(item->isChecked());
        QCOMPARE(f.setting("Options/RunMinimized"), QString("<absent>"));

        // Without a way to start with the session the item is not offered.
        ProgramRig bare(m_database);
        bare.autostart.hasWay = false;
        QVERIFY(!bare.start().mainWindow().ui().StartWithSession->isVisible());
    }

    // The route is read at start-up only: a change is kept and said to come at the next start.
    void inputRoute_data() {
        QTest::addColumn<bool>("choosable");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("inputMethodShown");
        QTest::addColumn<QString>("afterSwitch");
        QTest::addColumn<QString>("notice");
        QTest::newRow("hook, never set") << true << "<absent>" << false << "IBus"
                                         << "at the next start";
        QTest::newRow("input method stored") << true << "ibus" << true << "Hook"
                                             << "goes on through the keyboard hook";
        QTest::newRow("hook stored") << true << "Hook" << false << "IBus"
                                     << "at the next start";
        QTest::newRow("no choice here: the route in use, greyed") << false << "IBus" << false << ""
                                                                  << "";
    }
    void inputRoute() {
        QFETCH(bool, choosable);
        QFETCH(QString, stored);
        QFETCH(bool, inputMethodShown);
        QFETCH(QString, afterSwitch);
        ProgramRig f(m_database);
        f.inputRouteChoosable = choosable;
        if (stored != "<absent>")
            f.settings.values.insert("Quenlo/Options/InputMethod", stored);
        const Form1::Controls& ui = f.start().mainWindow().ui();
        QCOMPARE(ui.InputRoute->isEnabled(), choosable);
        QCOMPARE(ui.InputMethodRoute->isChecked(), inputMethodShown);
        QCOMPARE(ui.KeyboardHookRoute->isChecked(), !inputMethodShown);
        if (!choosable)
            return;
        (inputMethodShown ? ui.KeyboardHookRoute : ui.InputMethodRoute)->trigger();
        QCOMPARE(f.setting("Options/InputMethod"), afterSwitch);
        QCOMPARE(ui.InputMethodRoute->isChecked(), !inputMethodShown);
        QFETCH(QString, notice);
        QVERIFY2(f.program->mainWindow().notice().contains(notice),
                 qPrintable(f.program->mainWindow().notice()));
    }

    // Hidden to the tray, the window comes back for a click on the icon that ran within a yield of the
    // loading; IBus's start is told to need a restart.
    void hiddenWindowComesBack() {
        ProgramRig f(m_database);
        f.settings.values.insert("Quenlo/Options/RunMinimized", "1");
        QuenloProgram& program = f.start();
        f.tray.pressLeftButton();
        program.showMainWindow();
        QVERIFY(program.mainWindow().isVisible());
        program.inputMethodRequested();
        QVERIFY(program.mainWindow().notice().contains("Options > Input route > Input method"));
    }

    void rankingChoicesPersistAndCountsClearOnYes() {
        ProgramRig f(m_database);
        const Form1::Controls& ui = f.start().mainWindow().ui();
        // The database gained the ranking columns at start-up.
        QVERIFY(hasWordRanking(f.words));
        ui.MostLikelyFirst->trigger();
        ui.MatchCapitals->trigger();
        ui.PickWithNumberKeys->trigger();
        QVERIFY(f.program->engine().rankingOptions().mostLikelyFirst);
        QVERIFY(f.hook.numberKeys);

        f.type("hel");
        // The pop-up numbers the rows the digits pick, and stops when the option goes off.
        QVERIFY(f.program->popup()->rowText(0).startsWith("1  hel"));
        ui.PickWithNumberKeys->trigger();
        QVERIFY(f.program->popup()->rowText(0).startsWith("hel"));
        ui.PickWithNumberKeys->trigger();
        f.hook.press(tabKey);
        QCoreApplication::processEvents(); // the use is counted once the key is answered
        const QString uses = "select count(*) from Words where Uses is not null";
        QCOMPARE(column(f.words, uses), QStringList{"1"});
        f.messages.answers = {false, true};
        ui.ClearLearnedCounts->trigger();
        QCOMPARE(column(f.words, uses), QStringList{"1"});
        ui.ClearLearnedCounts->trigger();
        QCOMPARE(column(f.words, uses), QStringList{"0"});
        QCOMPARE(f.messages.shown.size(), 2);
        QVERIFY(f.messages.shown[0].question);

        // Kept for the next start.
        f.program.reset();
        f.words.close();
        QuenloProgram& again = f.start();
        QVERIFY(again.mainWindow().ui().MostLikelyFirst->isChecked());
        QVERIFY(!again.mainWindow().ui().MatchCapitals->isChecked());
        QVERIFY(!again.engine().rankingOptions().matchCapitals);
        QVERIFY(again.engine().rankingOptions().pickWithNumberKeys);
    }

    void learnedWordsReachTheDiskOnlyOnceTheyQualify() {
        ProgramRig f(m_database);
        const Form1::Controls& ui = f.start().mainWindow().ui();
        QVERIFY(!ui.LearnNewWords->isChecked());
        ui.LearnNewWords->trigger();
        QCOMPARE(f.setting("Options/LearnNewWords"), QString("1"));
        const auto onDisk = [&f](const QString& word, bool expected) {
            f.words.close();
            QByteArray stored;
            const QFileInfo database(f.databaseFile);
            for (const QFileInfo& file :
                 database.dir().entryInfoList({database.fileName() + '*'}, QDir::Files))
                stored += readFile(file.filePath());
            for (const QString& value : f.settings.values)
                stored += value.toUtf8();
            f.words.open();
            QCOMPARE(stored.toLower().contains(word.toUtf8()), expected);
        };
        for (const char* word : {"zorblat", "zorblat", "quenlo", "quenlo"})
            f.typeWord(QString::fromLatin1(word));
        onDisk("zorblat", false);
        onDisk("quenlo", false);
        f.typeWord("zorblat");
        onDisk("zorblat", true);
        f.typeWord("quenlo");
        QCOMPARE(f.setting("Options/LearnedDay"), QDate::currentDate().toString(Qt::ISODate) + " 2");

        f.type("hel");
        f.hook.press(tabKey); // hello counts a use
        QCoreApplication::processEvents();
        const auto rows = [&f] {
            return column(f.words,
                          "select Text1 || ifnull(Type1, '-') || ifnull(Uses, '') from Words order by Text1")
                .join(' ');
        };
        QCOMPARE(rows(), QString("hello-1 helmet1 help- quenlo13 world- zorblat13"));
        f.messages.answers = {false, true};
        ui.ForgetLearnedWords->trigger();
        QVERIFY(f.messages.shown.last().text.contains("2 words learnt from your typing (quenlo, zorblat)"));
        QVERIFY(rows().contains("zorblat"));
        ui.ForgetLearnedWords->trigger();
        QCOMPARE(rows(), QString("hello-1 helmet1 help- world-"));
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
        Guarded f(m_database);
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
        Guarded f(m_database);
        f.start();
        f.focus.focusApplication("Gedit");
        QVERIFY(!f.focus.ownHoldPossible);
        f.type("hel");
        QVERIFY(f.popupShown());
        QVERIFY(f.focus.ownHoldPossible); // only while the pop-up is up

        // Into a password field: the open pop-up goes at once. Completion coming back after it is
        // e2e_privacy's.
        f.focus.setPasswordField(true);
        QVERIFY(!f.popupShown());
        QVERIFY(!f.focus.ownHoldPossible);
        QCOMPARE(f.status(), QString("Completion paused: password field"));
        f.focus.setPasswordField(false);

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
        Guarded f(m_database);
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

    void exclusionDialogEditsStoredList() {
        Guarded f(m_database);
        f.start();
        f.focus.focusApplication("KeePassXC");
        // Opening the window moves the focus to this program; the application before it is offered.
        f.focus.focusApplication("quenlo", true);
        f.program->mainWindow().ui().ExcludedApplications->trigger();
        QVERIFY(f.dialog());
        QCOMPARE(f.dialogButton("addPreviousApplication")->text(), QString("Add KeePassXC"));
        // One entry per application, whatever the letter case: added twice, or by name, it stays one.
        f.dialogButton("addPreviousApplication")->click();
        f.dialogButton("addPreviousApplication")->click();
        const auto addByName = [&f](const QString& name) {
            f.dialog()->findChild<QLineEdit*>("applicationName")->setText(name);
            f.dialogButton("addByName")->click();
        };
        addByName("keepassxc");
        addByName("   "); // nothing to add
        addByName(" Gcr-prompter ");
        QCOMPARE(f.dialog()->findChild<QListWidget*>()->currentRow(), 1); // what Remove would take
        f.dialog()->accept();
        QCOMPARE(
            f.settings.values.value(excludedKey),
            QString(
                R"([{"id":"KeePassXC","name":"KeePassXC"},{"id":"Gcr-prompter","name":"Gcr-prompter"}])"));

        QTRY_VERIFY(!f.dialog()); // deleted on close
        f.focus.focusApplication("KeePassXC");
        QCOMPARE(f.status(), QString("Completion paused: excluded: KeePassXC"));

        // A cancelled dialog changes nothing.
        f.program->editExcludedApplications();
        QTRY_VERIFY(f.dialog());
        f.dialog()->findChild<QListWidget*>()->setCurrentRow(0);
        f.dialogButton("removeExcluded")->click();
        QCOMPARE(f.dialog()->entries().size(), 1);
        f.dialog()->reject();
        QCOMPARE(f.program->privacy().excludedApplications().size(), 2);

        // With no application before it and nothing selected, there is nothing to add or remove.
        ExcludedApplicationsDialog none({}, {});
        QVERIFY(!none.findChild<QPushButton*>("addPreviousApplication")->isEnabled());
        QVERIFY(!none.findChild<QPushButton*>("removeExcluded")->isEnabled());
    }

    void choose_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("userDataDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("copyFrom");
        const QString beside = "/opt/q/bin/words.mdb";
        const QString user = "/home/u/.local/share/Quenlo/words.mdb";
        const QString installed = "/opt/q/share/quenlo/words.mdb";
        const QString userDir = "/home/u/.local/share/Quenlo";
        // A first start copying the installed default and the next one opening that copy are the
        // package suite's.
        QTest::newRow("beside the program wins")
            << QStringList{beside, user, installed} << userDir << beside << "";
        QTest::newRow("user's copy without an installed default")
            << QStringList{user} << userDir << user << "";
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

    void copyMakesWholeFileOnce_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("before"); // at the target; null: nothing there
        QTest::addColumn<bool>("copied");
        QTest::addColumn<QByteArray>("after"); // at the target; null: nothing there
        const QString source = "share/words.mdb", user = "user/deeper/words.mdb";
        const QByteArray none, theUsers("the user's words");
        QTest::newRow("made whole") << source << user << none << true << QByteArray(3 << 20, 'w');
        // As by a second program starting at once.
        QTest::newRow("the user's file kept") << source << user << theUsers << true << theUsers;
        QTest::newRow("source missing") << "missing.mdb" << user << none << false << none;
        QTest::newRow("a file where the folder should be")
            << source << "blocker/words.mdb" << none << false << none;
    }
    void copyMakesWholeFileOnce() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QByteArray, before);
        QFETCH(bool, copied);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        writeFile(dir.filePath("share/words.mdb"), QByteArray(3 << 20, 'w')); // more than one chunk
        writeFile(dir.filePath("blocker"), "a file");
        if (!before.isNull())
            writeFile(dir.filePath(target), before);
        QString error;
        QCOMPARE(copyWordDatabase(dir.filePath(source), dir.filePath(target), error), copied);
        QVERIFY2(error.isEmpty() == copied, qPrintable(error));
        QCOMPARE(readFile(dir.filePath(target)), after.isNull() ? QByteArray("<missing>") : after);
        // Nothing is left beside it.
        QCOMPARE(QFileInfo(dir.filePath(target)).dir().entryList(QDir::Files),
                 after.isNull() ? QStringList() : QStringList{"words.mdb"});
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

QTEST_MAIN(TestQuenloProgram)
#include "tst_quenloprogram.moc"
