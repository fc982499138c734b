// The whole program through fakes: start-up in its order with fresh and prepared stores, a
// missing database, hostile start-up imports, the Show boxes and the focus, the main job through
// the test keyboard hook, and Exit.
#include "engine/completionengine.h"
#include "engine/suggestionpopup.h"
#include "maker.h"
#include "platform/fakes/fakes.h"
#include "platform/fakes/testkeyboardhook.h"
#include "platform/sqliteconnection.h"
#include "platform/wordranking.h"
#include "platform/wordsfile.h"
#include "shell/quenloprogram.h"
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int tabKey = 9;
constexpr int downKey = 40;

struct Fixture {
    explicit Fixture(const QString& databasePath)
        : words(databasePath)
        , databaseFile(databasePath) {}
    QString setting(const QString& key) const {
        return settings.values.value(QStringLiteral("Quenlo/") + key, QStringLiteral("<absent>"));
    }
    void type(const QString& letters) {
        for (const QChar letter : letters)
            hook.press(letter.toUpper().unicode());
    }

    MemorySettingsBackend settings;
    FakeTrayIcon tray;
    FakeFileDialogs fileDialogs;
    FakeMessageBoxes messages;
    FakeWebPages webPages;
    FakeClipboard clipboard;
    TestKeyboardHook hook;
    RecordingKeyInjector injector;
    FakeSessionAutostart autostart;
    SqliteConnection words;
    QString databaseFile;
    std::unique_ptr<QuenloProgram> program;

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
                                                                  databaseFile,
                                                                  &autostart});
        program->load();
        return *program;
    }
};
} // namespace

class TestQuenloProgram : public QObject {
    Q_OBJECT
private slots:
    void init();
    void freshStore();
    void preparedStore();
    void autoImport_data();
    void autoImport();
    void hostileStartupImports_data();
    void hostileStartupImports();
    void missingDatabase();
    void showBoxesKeepTheFocus_data();
    void showBoxesKeepTheFocus();
    void keyboardProblemIsShownOnce();
    void mainJobEndToEnd();
    void shiftCompletesAfterRestart();
    void exitRemovesIconAndClosesDatabase();
    void runMinimized_data();
    void runMinimized();
    void startWithSession();
    void rankingChoicesPersistAndCountsClearOnYes();

private:
    QTemporaryDir m_dir;
    QString m_database;
};

void TestQuenloProgram::init() {
    m_database = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                                QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mdb"));
    QFile::remove(m_database);
    QVERIFY(createWordsDatabase(
        m_database,
        {{"hello", std::nullopt}, {"help", std::nullopt}, {"helmet", "1"}, {"world", std::nullopt}}));
}

void TestQuenloProgram::freshStore() {
    Fixture f(m_database);
    QuenloProgram& program = f.start();
    const Form1::Controls& ui = program.mainWindow().ui();
    QCOMPARE(program.wordList().rowCount(), 0);
    QVERIFY(ui.Check4->isChecked());
    QVERIFY(ui.Check5->isChecked());
    QVERIFY(ui.Opt2->isChecked());
    QCOMPARE(program.engine().completionKeyCode(), std::int16_t(9));
    QVERIFY(f.tray.shown());
    QCOMPARE(f.tray.tip, QStringLiteral("Quenlo 4.1 - ") + maker::siteName);
    QCOMPARE(f.setting("Type/Opt1"), QStringLiteral("False"));
    QCOMPARE(f.setting("Type/Opt2"), QStringLiteral("True"));
    QCOMPARE(f.setting("Type/C4"), QStringLiteral("<absent>"));
    QCOMPARE(f.words.state(), 1);
    QVERIFY(f.messages.shown.isEmpty());
    QVERIFY(program.mainWindow().notice().isEmpty());
}

void TestQuenloProgram::preparedStore() {
    Fixture f(m_database);
    f.settings.values.insert(QStringLiteral("Quenlo/Type/C5"), QStringLiteral("0"));
    f.settings.values.insert(QStringLiteral("Quenlo/Type/Opt1"), QStringLiteral("True"));
    f.settings.values.insert(QStringLiteral("Quenlo/Type/Opt2"), QStringLiteral("False"));
    f.settings.values.insert(QStringLiteral("Quenlo/File/Save"), m_dir.filePath(QStringLiteral("saved.txt")));
    QuenloProgram& program = f.start();
    const Form1::Controls& ui = program.mainWindow().ui();
    QVERIFY(!ui.Check5->isChecked());
    QVERIFY(ui.Opt1->isChecked());
    QVERIFY(!ui.Opt2->isChecked());
    QCOMPARE(program.engine().completionKeyCode(), std::int16_t(16));
    QCOMPARE(program.wordListFiles().currentFileName(), m_dir.filePath(QStringLiteral("saved.txt")));
}

void TestQuenloProgram::autoImport_data() {
    QTest::addColumn<QString>("autoImport");
    QTest::addColumn<bool>("importNamed");
    QTest::addColumn<int>("rows");
    QTest::newRow("on, with a file") << "1" << true << 2;
    QTest::newRow("on, no file named") << "1" << false << 0;
    QTest::newRow("off") << "0" << true << 0;
    QTest::newRow("letters") << "yes" << true << 0;
}

void TestQuenloProgram::autoImport() {
    QFETCH(QString, autoImport);
    QFETCH(bool, importNamed);
    QFETCH(int, rows);

    const QString listFile = m_dir.filePath(QStringLiteral("list.txt"));
    QFile file(listFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("zebra\r\nab\r\napple\r\n");
    file.close();

    Fixture f(m_database);
    f.settings.values.insert(QStringLiteral("Quenlo/Options/AutoImort"), autoImport);
    if (importNamed)
        f.settings.values.insert(QStringLiteral("Quenlo/File/Import"), listFile);
    QuenloProgram& program = f.start();
    QCOMPARE(program.wordList().rowCount(), rows);
    QVERIFY(f.messages.shown.isEmpty());
    // The database is untouched by an import.
    std::unique_ptr<DbResult> all = f.words.execute(QStringLiteral("select Text1 from Words order by 1 "));
    int stored = 0;
    for (; all && !all->eof(); all->moveNext())
        ++stored;
    QCOMPARE(stored, 4);
}

void TestQuenloProgram::hostileStartupImports_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("told");
#ifndef Q_OS_WIN
    // An endless device and a named pipe, as POSIX systems have them.
    const QString notAFile = QStringLiteral("\": it is not a regular file");
    QTest::newRow("endless device") << "/dev/zero" << notAFile;
    QTest::newRow("pipe") << "fifo" << notAFile;
#endif
    QTest::newRow("one line of 50 MB") << "long.txt"
                                       << "\" is longer than 4096 bytes and was not imported.";
}

void TestQuenloProgram::hostileStartupImports() {
    QFETCH(QString, name);
    QFETCH(QString, told);
    const bool ours = !name.startsWith(QLatin1Char('/'));
    const QString path = ours ? m_dir.filePath(name) : name;
    if (ours)
        QFile::remove(path);
    if (name == QStringLiteral("fifo"))
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
    QFile file(path);
    if (name == QStringLiteral("long.txt") &&
        (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(50 * 1024 * 1024, 'x')) < 0))
        QFAIL("cannot write the long line");
    file.close();

    Fixture f(m_database);
    f.settings.values.insert(QStringLiteral("Quenlo/Options/AutoImort"), QStringLiteral("1"));
    f.settings.values.insert(QStringLiteral("Quenlo/File/Import"), path);
    QuenloProgram& program = f.start();
    // Told in the window, as other start-up problems are, with the name as the system writes it,
    // and start-up went on to its end.
    const QString notice = program.mainWindow().notice();
    QVERIFY2(notice.contains(QLatin1Char('"') + QDir::toNativeSeparators(path) + told), qPrintable(notice));
    QVERIFY(f.messages.shown.isEmpty());
    QCOMPARE(program.wordList().rowCount(), 0);
    QCOMPARE(f.words.state(), 1);
    f.type(QStringLiteral("hel"));
    QVERIFY(program.engine().existingPopup() && program.engine().existingPopup()->isVisible());
}

void TestQuenloProgram::missingDatabase() {
    Fixture f(m_dir.filePath(QStringLiteral("nowhere.mdb")));
    QuenloProgram& program = f.start();
    QCOMPARE(f.words.state(), 0);
    QVERIFY(f.messages.shown.isEmpty());
    QVERIFY(f.tray.shown());
    f.type(QStringLiteral("hel"));
    QVERIFY(!program.engine().existingPopup() || !program.engine().existingPopup()->isVisible());
    QVERIFY(f.messages.shown.isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("nowhere.mdb"))));
}

void TestQuenloProgram::showBoxesKeepTheFocus_data() {
    QTest::addColumn<bool>("custom");
    QTest::addColumn<QString>("how");
    QTest::newRow("Space on Show Default Words") << false << "Space";
    QTest::newRow("Space on Show Custom Words") << true << "Space";
    QTest::newRow("click on Show Default Words") << false << "click";
    QTest::newRow("click on Show Custom Words") << true << "click";
    // What a screen reader or voice control does: a toggle without any click.
    QTest::newRow("accessibility toggle on Show Default Words") << false << "toggle action";
}

void TestQuenloProgram::showBoxesKeepTheFocus() {
    QFETCH(bool, custom);
    QFETCH(QString, how);
    Fixture f(m_database);
    QuenloProgram& program = f.start();
    Form1& window = program.mainWindow();
    const Form1::Controls& ui = window.ui();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCheckBox* box = custom ? ui.Check3 : ui.Check2;
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
    QVERIFY(ui.Check4->isChecked() && ui.Check5->isChecked());
    QCOMPARE(f.setting("Type/C4"), QStringLiteral("<absent>"));
    QCOMPARE(f.setting("Type/C5"), QStringLiteral("<absent>"));
}

void TestQuenloProgram::keyboardProblemIsShownOnce() {
    Fixture f(m_database);
    f.program = std::make_unique<QuenloProgram>(
        ProgramServices{f.settings, f.tray, f.fileDialogs, f.messages, f.webPages, f.clipboard, f.hook,
                        f.injector, f.words, QString(), "no X display", m_database});
    f.program->load();
    QVERIFY(f.program->mainWindow().notice().contains(QStringLiteral("no X display")));
    QVERIFY(f.tray.tip.contains(QStringLiteral("no X display")));
    QVERIFY(f.messages.shown.isEmpty());
}

void TestQuenloProgram::mainJobEndToEnd() {
    Fixture f(m_database);
    QuenloProgram& program = f.start();
    f.type(QStringLiteral("hel"));
    SuggestionPopup* popup = program.engine().existingPopup();
    QVERIFY(popup && popup->isVisible());
    QVERIFY(f.hook.popupVisible());
    QCOMPARE(popup->currentSuggestion(), QStringLiteral("hello"));

    QCOMPARE(f.hook.press(downKey), std::optional<std::int16_t>(1));
    QCOMPARE(popup->currentSuggestion(), QStringLiteral("helmet"));
    QCOMPARE(f.hook.press(tabKey), std::optional<std::int16_t>(1));
    QCOMPARE(f.clipboard.text, QStringLiteral("met"));
    QCOMPARE(f.injector.shiftInserts, 1);
    QVERIFY(!popup->isVisible());
    QVERIFY(program.mainWindow().ui().Text5->text().isEmpty());
}

void TestQuenloProgram::shiftCompletesAfterRestart() {
    Fixture f(m_database);
    f.start();
    f.program->mainWindow().ui().Opt1->click();
    f.program.reset();
    f.words.close();

    // The same store, a new run.
    QuenloProgram& program = f.start();
    QVERIFY(program.mainWindow().ui().Opt1->isChecked());
    f.type(QStringLiteral("wor"));
    QCOMPARE(f.hook.press(tabKey), std::optional<std::int16_t>(0));
    f.type(QStringLiteral("wor"));
    QCOMPARE(f.hook.press(16), std::optional<std::int16_t>(1));
    QCOMPARE(f.clipboard.text, QStringLiteral("ld"));
}

void TestQuenloProgram::exitRemovesIconAndClosesDatabase() {
    Fixture f(m_database);
    QuenloProgram& program = f.start();
    program.mainWindow().show();
    f.type(QStringLiteral("hel"));
    program.mainWindow().ui().Exit->trigger();
    QVERIFY(!f.tray.shown());
    QCOMPARE(f.words.state(), 0);
    QVERIFY(!program.engine().existingPopup()->isVisible());
    QVERIFY(f.messages.shown.isEmpty());
}

void TestQuenloProgram::runMinimized_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("hasTray");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("minimized");
    QTest::newRow("never set") << "<absent>" << true << true << false;
    QTest::newRow("off") << "0" << true << true << false;
    QTest::newRow("on: hidden to the tray") << "1" << true << false << false;
    QTest::newRow("on, no tray: minimized") << "1" << false << true << true;
}

void TestQuenloProgram::runMinimized() {
    QFETCH(QString, stored);
    QFETCH(bool, hasTray);
    QFETCH(bool, shown);
    QFETCH(bool, minimized);
    Fixture f(m_database);
    if (stored != "<absent>")
        f.settings.values.insert(QStringLiteral("Quenlo/Options/RunMinimized"), stored);
    f.tray.hasNotificationArea = hasTray;
    QuenloProgram& program = f.start();
    program.showMainWindow();
    QAction* item = program.mainWindow().ui().RunMinimized;
    QCOMPARE(item->isChecked(), stored == "1");
    QCOMPARE(program.mainWindow().isVisible(), shown);
    QCOMPARE(program.mainWindow().isMinimized(), minimized);
    QCOMPARE(f.tray.shown(), hasTray);

    // Each click is kept at once.
    item->trigger();
    QCOMPARE(f.setting("Options/RunMinimized"), stored == "1" ? QStringLiteral("0") : QStringLiteral("1"));
    item->trigger();
    QCOMPARE(f.setting("Options/RunMinimized"), stored == "1" ? QStringLiteral("1") : QStringLiteral("0"));
}

void TestQuenloProgram::startWithSession() {
    Fixture f(m_database);
    f.autostart.enabled = true;
    QuenloProgram& program = f.start();
    const Form1::Controls& ui = program.mainWindow().ui();
    QAction* item = ui.StartWithSession;
    QVERIFY(item->isVisible());
    QVERIFY(item->isChecked());

    item->trigger();
    QCOMPARE(f.autostart.requests, QList<bool>{false});
    QVERIFY(!item->isChecked());

    // A refusal is said, and the check mark shows what is really there.
    f.autostart.failure = QStringLiteral("read-only folder");
    item->trigger();
    QVERIFY(!item->isChecked());
    QCOMPARE(f.messages.shown.size(), 1);
    QVERIFY(f.messages.shown[0].text.contains(QStringLiteral("read-only folder")));

    // Changed behind the program's back: the menu shows it the next time it opens.
    f.autostart.enabled = true;
    emit ui.Options->aboutToShow();
    QVERIFY(item->isChecked());
    QCOMPARE(f.setting("Options/RunMinimized"), QStringLiteral("<absent>"));

    // Without a way to start with the session the item is not offered.
    Fixture bare(m_database);
    bare.autostart.hasWay = false;
    QVERIFY(!bare.start().mainWindow().ui().StartWithSession->isVisible());
}

void TestQuenloProgram::rankingChoicesPersistAndCountsClearOnYes() {
    Fixture f(m_database);
    QuenloProgram& program = f.start();
    const Form1::Controls& ui = program.mainWindow().ui();
    // The design values, and the database gained the ranking columns at start-up.
    QVERIFY(!ui.MostLikelyFirst->isChecked() && ui.LearnFromCompletions->isChecked() &&
            ui.MatchCapitals->isChecked());
    QVERIFY(hasWordRanking(f.words));
    QCOMPARE(f.setting("Options/Learn"), QStringLiteral("<absent>"));
    ui.MostLikelyFirst->trigger();
    ui.MatchCapitals->trigger();
    QCOMPARE(f.setting("Options/MostLikelyFirst"), QStringLiteral("1"));
    QCOMPARE(f.setting("Options/MatchCapitals"), QStringLiteral("0"));
    QVERIFY(program.engine().rankingOptions().mostLikelyFirst);

    f.type(QStringLiteral("hel"));
    f.hook.press(tabKey);
    QCoreApplication::processEvents(); // the use is counted once the key is answered
    const auto uses = [&f] {
        const auto result = f.words.execute("select count(*) from Words where Uses is not null");
        return result ? result->text1().value_or("?") : "?";
    };
    QCOMPARE(uses(), QStringLiteral("1"));
    f.messages.answers = {false, true};
    ui.ClearLearnedCounts->trigger();
    QCOMPARE(uses(), QStringLiteral("1"));
    ui.ClearLearnedCounts->trigger();
    QCOMPARE(uses(), QStringLiteral("0"));
    QCOMPARE(f.messages.shown.size(), 2);
    QVERIFY(f.messages.shown[0].question);

    f.program.reset();
    f.words.close();
    QuenloProgram& again = f.start();
    QVERIFY(again.mainWindow().ui().MostLikelyFirst->isChecked());
    QVERIFY(!again.mainWindow().ui().MatchCapitals->isChecked());
    QVERIFY(!again.engine().rankingOptions().matchCapitals);
}

QTEST_MAIN(TestQuenloProgram)
#include "tst_quenloprogram.moc"
