// Word-list files: the line and name rules, encodings, byte-exact files, the current file name,
// safe saving, and files no word list should be.
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"
#include "tests/fakes/fakes.h"
#include "tests/testfiles.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {
const QByteArray older("an older, longer file\r\n\r\n\r\n");
} // namespace

class TestWordListFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_temporary;
    QDir m_dir;
    WordListModel m_model;
    QLineEdit m_text8{"4"};
    FakeFileDialogs m_dialogs;
    FakeMessageBoxes m_messages;
    QStringList m_remembered;
    WordListFiles m_files{m_model, &m_text8, m_dialogs, m_messages, [this](const QString& name) {
                              m_remembered.append(name);
                          }};

    QString write(const QString& name, const QByteArray& bytes) {
        return writeFile(m_dir.filePath(name), bytes);
    }

private slots:
    void init() {
        m_temporary = std::make_unique<QTemporaryDir>();
        m_dir.setPath(m_temporary->path());
        m_model.clear();
        m_text8.setText("4");
        m_messages.shown.clear();
        m_remembered.clear();
        m_dialogs.shown.clear();
        m_dialogs.answers.clear();
        m_files.setCurrentFileName(QString());
    }

    // A minimum below zero tests the text as a file name instead of as an imported line.
    void rules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("name empty") << "" << -1.0 << false;
        QTest::newRow("name of spaces") << "   " << -1.0 << false;
        QTest::newRow("name pattern in spaces") << "  *.kw " << -1.0 << false;
        QTest::newRow("name pattern in other case") << "*.KW" << -1.0 << true;
        QTest::newRow("name tab is no space") << "\t" << -1.0 << true;
        QTest::newRow("name of a file") << "/tmp/words.kw" << -1.0 << true;
        QTest::newRow("line just long enough") << "abcd" << 4.0 << true;
        QTest::newRow("line of spaces") << "      " << 4.0 << false;
        QTest::newRow("line empty, no minimum") << "" << 0.0 << false;
        QTest::newRow("line tab is no space") << "\t" << 1.0 << true;
        QTest::newRow("line, fractional minimum") << "abcd" << 4.5 << false;
        QTest::newRow("line counts characters, not code units") << "😀😀😀" << 4.0 << false;
    }
    void rules() {
        QFETCH(QString, text);
        QFETCH(double, minimum);
        QTEST(minimum < 0 ? isAcceptedFileName(text) : isImportedLine(text, minimum), "accepted");
    }

    // What a word list file adds, and what is told of it: at start-up in the window, from the menu in
    // a box. %1 is the file's name as the system writes it.
    void import_data() {
        QTest::addColumn<QString>("name"); // list.txt holds the bytes
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text8");
        QTest::addColumn<QStringList>("listed"); // empty: the file is not read
        QTest::addColumn<QString>("told");       // how it begins; empty: nothing is told
        const auto row = [](const char* tag, const QByteArray& bytes, const QStringList& listed,
                            const QString& told = {}, const QString& name = "list.txt",
                            const QString& text8 = "4") {
            QTest::newRow(tag) << name << bytes << text8 << listed << told;
        };
        // One byte short of a read block, in lines a word long: the encoding is found in the whole file.
        const QByteArray block = QByteArray("abcd\n").repeated(13106) + "vwxyz";
        // Line ends and block boundaries as such are tst_linereader's.
        row("mixed, empty lines skipped", "\r\n\r\nword\n\r  \rother\r\n\r\n", {"other", "word"});
        row("spaces kept and counted", "  ab  \r\nabc\r\n", {"  ab  "});
        row("repeated lines twice", "same\r\nsame", {"same", "same"});
        row("byte-order mark", "\xEF\xBB\xBFÄpfel\r\n", {"Äpfel"});
        row("an 8-bit letter after a block of UTF-8", "\xC3\x84pfel\r\n" + block + "\n\xE9t\xE9s\r\n",
            QStringList(13106, "abcd") + QStringList{"Ã\u201Epfel", "vwxyz", "étés"});
        const QByteArray longLine(5000, 'x');
        row("overlong lines skipped", "first\r\n" + longLine + "\r\nsecond\n" + longLine + "\nthird",
            {"first", "second", "third"},
            "Lines 2, 4 of the word list file \"%1\" are longer than 4096 bytes and were not imported.");
        const QString unread = "Could not read the word list file \"%1\": ";
#ifdef Q_OS_WIN
        row("missing file", "", QStringList(), unread + "File not found", "missing.txt");
#else
        row("missing file", "", QStringList(), unread + "No such file or directory", "missing.txt");
        // A device that never ends and a pipe that waits for a writer, as POSIX systems have them, are
        // not read at all.
        row("endless device", "", QStringList(), unread + "it is not a regular file", "/dev/zero");
        row("pipe", "", QStringList(), unread + "it is not a regular file", "fifo");
#endif
        row("a folder", "", QStringList(), unread + "it is not a regular file", ".");
        row("minimum not a number", "first\r\n", QStringList(),
            unread + "the minimum word length \"four\" is not a number", "list.txt", "four");
    }
    void import() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text8);
        QFETCH(QStringList, listed);
        QFETCH(QString, told);
        write("list.txt", bytes);
        if (name == "fifo")
            QCOMPARE(QProcess::execute("mkfifo", {m_dir.filePath("fifo")}), 0);
        m_text8.setText(text8);
        const QString path = name.startsWith('/') ? name : m_dir.filePath(name);
        told.replace("%1", QDir::toNativeSeparators(path));
        // What was read counts here, added to what was listed; the list's order is the locale's, as the
        // model's tests check.
        const bool read = !listed.isEmpty();
        listed.append("kept");
        listed.sort();
        for (const bool interactive : {false, true}) {
            m_model.clear();
            m_model.addWord("kept");
            QCOMPARE(m_files.GetImportFile(path, interactive), read);
            QStringList words = m_model.words();
            words.sort();
            QCOMPARE(words, listed);
            QVERIFY(!read || m_model.isPublished());
            const QString problem =
                interactive ? m_messages.shown.value(0).text : m_files.lastImportProblem();
            QVERIFY2(told.isEmpty() ? problem.isEmpty() : problem.startsWith(told), qPrintable(problem));
            QCOMPARE(m_messages.shown.size(), interactive && !told.isEmpty() ? 1 : 0);
        }
        QCOMPARE(m_messages.shown.value(0).title, told.isEmpty() ? QString() : QString("Quenlo"));
    }

    void saveWritesTheEncodingItRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("added");    // a word added before saving
        QTest::addColumn<QByteArray>("saved"); // the file afterwards when not the bytes read
        // Every byte of the page coming back is the code page's own test.
        QTest::newRow("Windows-1252")
            << QByteArray("caf\xE9 \x80\x81\xFF\r\nzebra\r\n\r\n") << "" << QByteArray();
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9\r\n\xCF\x89mega\r\n\r\n") << "" << QByteArray();
        QTest::newRow("UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBFwords\r\nz\xC3\xA9ro\r\n\r\n") << "" << QByteArray();
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE\xE9\0t\0\xE9\0\r\0\n\0\r\0\n\0", 16) << ""
                                  << QByteArray();
        QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF\0\xE9\0t\0\xE9\0\r\0\n\0\r\0\n", 16) << ""
                                  << QByteArray();
        // Letters the 8-bit page lacks: the list goes to UTF-8, and the user is told.
        QTest::newRow("Windows-1252, a letter it lacks") << QByteArray("caf\xE9\r\n\r\n") << "ωmega"
                                                         << QByteArray("\xEF\xBB\xBF"
                                                                       "caf\xC3\xA9\r\n\xCF\x89mega\r\n\r\n");
    }
    void saveWritesTheEncodingItRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, added);
        QFETCH(QByteArray, saved);
        m_text8.setText("1");
        const QString path = write("list.txt", bytes);
        m_dialogs.answers = {path};
        m_files.fileImport();
        if (!added.isEmpty())
            m_model.addWord(added);
        const QStringList words = m_model.words();
        m_files.fileSave();
        QCOMPARE(readFile(path), saved.isNull() ? bytes : saved);
        QCOMPARE(m_messages.shown.size(), saved.isNull() ? 0 : 1);
        QVERIFY(saved.isNull() || m_messages.shown[0].text.contains("Windows-1252"));
        // What was saved reads back the same.
        m_model.clear();
        QVERIFY(m_files.GetImportFile(path, false));
        QCOMPARE(m_model.words(), words);
        // Saved again under another name, the list is written as new files are: UTF-8.
        const QString other = m_dir.filePath("other.txt");
        m_dialogs.answers = {other};
        m_files.fileSaveAs();
        QCOMPARE(QString::fromUtf8(readFile(other)), words.join("\r\n") + "\r\n\r\n");
    }

    void exportFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("bytes"); // the file afterwards
        QTest::newRow("empty list") << "saved.txt" << QStringList{} << QByteArray("\r\n");
        // List order; only the first entry loses its leading spaces; the system encoding. Windows
        // collates "Ä" with "A", the C locale after every ASCII letter.
        const QStringList entries{"cherry ", "Äpfel", "  a", " b", "Banana"};
#ifdef Q_OS_WIN
        QTest::newRow("entries") << "saved.txt" << entries
                                 << QByteArray("a\r\n b\r\n\xC3\x84pfel\r\nBanana\r\ncherry \r\n\r\n");
#else
        QTest::newRow("entries") << "saved.txt" << entries
                                 << QByteArray("a\r\n b\r\nBanana\r\ncherry \r\n\xC3\x84pfel\r\n\r\n");
#endif
        QTest::newRow("blank first entries")
            << "saved.txt" << QStringList{"", "   ", "x"} << QByteArray("\r\n   \r\nx\r\n\r\n");
        // A failed save leaves any earlier file as it was and nothing beside it.
        QTest::newRow("fails: folder missing")
            << "no such folder/list.txt" << QStringList{"new"} << QByteArray("<missing>");
        QTest::newRow("fails: a folder in the way")
            << "folder" << QStringList{"new"} << QByteArray("<missing>");
        // Permissions do not stop root; a name too long for a temporary file beside it does.
        QTest::newRow("fails: no room for a temporary name")
            << QString(250, QChar('w')) << QStringList{"new"} << older;
    }
    void exportFile() {
        QFETCH(QString, name);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        QVERIFY(m_dir.mkpath("folder"));
        if (!name.contains('/') && name != "folder")
            write(name, older);
        for (const QString& entry : entries)
            m_model.addWord(entry);
        const QString path = m_dir.filePath(name);
        m_files.setCurrentFileName(path);
        const bool fails = QByteArray(QTest::currentDataTag()).startsWith("fails");
        QCOMPARE(m_files.ExportFile(), !fails);
        QCOMPARE(readFile(path), bytes);
        QCOMPARE(m_messages.shown.size(), fails ? 1 : 0);
        QCOMPARE(m_messages.shown.value(0).text.startsWith("Could not save the word list to \"" +
                                                           QDir::toNativeSeparators(path) + "\": "),
                 fails);
        QCOMPARE(m_dir.entryList(QDir::Files).size(), bytes == "<missing>" ? 0 : 1);
    }

    void currentFileNameOverTime() {
        const QString path = write("list.txt", "imported\r\n");
        const QString missing = m_dir.filePath("gone.txt");
        const QString saved = m_dir.filePath("saved.txt");
        m_dialogs.answers = {"", "*.kw", missing, path, saved, "", "", "*.kw"};
        m_files.fileImport();
        m_files.fileImport();
        QVERIFY(m_remembered.isEmpty() && m_messages.shown.isEmpty());
        // A file that fails to read is remembered all the same: it was chosen before it was read.
        m_files.fileImport();
        QCOMPARE(m_remembered, QStringList{missing});
        QCOMPARE(m_messages.shown.size(), 1);
        QCOMPARE(m_files.currentFileName(), missing);
        m_files.fileImport();
        m_model.addWord("added");
        m_files.fileSave(); // replaces the imported file without asking
        QCOMPARE(readFile(path), QByteArray("added\r\nimported\r\n\r\n"));
        m_files.fileSaveAs();
        QCOMPARE(readFile(saved), readFile(path));
        m_files.fileSaveAs(); // cancelled: the name is emptied, so the next Save asks
        QCOMPARE(m_files.currentFileName(), QString());
        m_files.fileSave();
        m_files.fileImport();
        QCOMPARE(m_files.currentFileName(), QString("*.kw"));
        m_files.fileSave(); // a name is set, so no dialog; it fails the name test, so nothing is written
        QCOMPARE(m_dialogs.shown,
                 (QStringList{"open", "open", "open", "open", "save", "save", "save", "open"}));
        QCOMPARE(m_dir.entryList(QDir::Files), (QStringList{"list.txt", "saved.txt"}));
        QCOMPARE(m_remembered, (QStringList{missing, path}));
        QCOMPARE(m_messages.shown.size(), 1);
    }
};

QTEST_MAIN(TestWordListFiles)
#include "tst_wordlistfiles.moc"
