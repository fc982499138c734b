// Word-list files: the line and name rules, byte-exact files, the current file name, safe saving.
#include "platform/fakes/fakes.h"
#include "store/linereader.h"
#include "store/wordlistfiles.h"
#include "store/wordlistmodel.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestWordListFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void nameTest_data();
    void nameTest();
    void lineTest_data();
    void lineTest();
    void lineReader_data();
    void lineReader();
    void import_data();
    void import();
    void importFailure_data();
    void importFailure();
    void exportWritesBytesExactly_data();
    void exportWritesBytesExactly();
    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();
    void fileImportRemembersTheNameBeforeReading();
    void saveAfterImportReplacesTheImportedFile();
    void cancelledChoicesEmptyTheCurrentName();
    void saveThenImportGivesTheEntriesBack();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QByteArray read(const QString& path);

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
};

void TestWordListFiles::init() {
    m_temporary = std::make_unique<QTemporaryDir>();
    m_dir.setPath(m_temporary->path());
    m_model.clear();
    m_text8.setText("4");
    m_dialogs.answers.clear();
    m_dialogs.shown.clear();
    m_messages.shown.clear();
    m_remembered.clear();
    m_files.setCurrentFileName(QString());
}

QString TestWordListFiles::write(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray TestWordListFiles::read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestWordListFiles::nameTest_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("spaces") << "   " << false;
    QTest::newRow("pattern") << "*.kw" << false;
    QTest::newRow("pattern in spaces") << "  *.kw " << false;
    QTest::newRow("pattern in other case") << "*.KW" << true;
    QTest::newRow("tab is no space") << "\t" << true;
    QTest::newRow("a file") << "/tmp/words.kw" << true;
}

void TestWordListFiles::nameTest() {
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QCOMPARE(isAcceptedFileName(name), accepted);
}

void TestWordListFiles::lineTest_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<bool>("imported");
    QTest::newRow("spaces count in the length") << "  ab  " << 4.0 << true;
    QTest::newRow("too short") << "abc" << 4.0 << false;
    QTest::newRow("just long enough") << "abcd" << 4.0 << true;
    QTest::newRow("only spaces") << "      " << 4.0 << false;
    QTest::newRow("empty, no minimum") << "" << 0.0 << false;
    QTest::newRow("tab is no space") << "\t" << 1.0 << true;
    QTest::newRow("fractional minimum") << "abcd" << 4.5 << false;
    QTest::newRow("characters, not code units") << "😀😀😀" << 4.0 << false;
    QTest::newRow("letters beyond ASCII") << "äöüß" << 4.0 << true;
}

void TestWordListFiles::lineTest() {
    QFETCH(QString, line);
    QFETCH(double, minimum);
    QFETCH(bool, imported);
    QCOMPARE(isImportedLine(line, minimum), imported);
}

void TestWordListFiles::lineReader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    const QByteArray block(65535, 'a'); // one byte short of a read block
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("CR alone") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("LF alone, no last end") << QByteArray("a\nb") << QStringList{"a", "b"};
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n") << QStringList{"", ""};
    QTest::newRow("nothing") << QByteArray() << QStringList{};
    QTest::newRow("CR LF across blocks") << block + "\r\nb" << QStringList{block, "b"};
    QTest::newRow("a line over many blocks")
        << QByteArray(200000, 'x') + "\ny" << QStringList{QString(200000, 'x'), "y"};
    QTest::newRow("a character across blocks") << block + "\xC3\x84" << QStringList{block + "Ä"};
    QTest::newRow("undecodable bytes") << QByteArray("ab\xFF\ncd") << QStringList{"ab\uFFFD", "cd"};
}

void TestWordListFiles::lineReader() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer);
    QStringList read;
    for (QString line; reader.readLine(line);)
        read.append(line);
    QVERIFY(!reader.failed());
    QCOMPARE(read, lines);
}

void TestWordListFiles::import_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("listed");
    // Files whose lines end in CR LF and in CR alone are read alike.
    QTest::newRow("CR LF") << QByteArray("word\r\nother\r\n") << QStringList{"other", "word"};
    QTest::newRow("CR alone") << QByteArray("word\rother\r") << QStringList{"other", "word"};
    QTest::newRow("mixed, empty lines skipped")
        << QByteArray("\r\n\r\nword\n\r  \rother\r\n\r\n") << QStringList{"other", "word"};
    QTest::newRow("spaces kept") << QByteArray("  ab  \r\nabc\r\n") << QStringList{"  ab  "};
    QTest::newRow("repeated lines twice") << QByteArray("same\r\nsame") << QStringList{"same", "same"};
    QTest::newRow("UTF-8 with a byte-order mark")
        << QByteArray("\xEF\xBB\xBFÄpfel\r\n") << QStringList{"Äpfel"};
    QTest::newRow("undecodable bytes")
        << QByteArray("ab\xFF\xFE\r\nlater\r\n") << QStringList{"ab\uFFFD\uFFFD", "later"};
}

void TestWordListFiles::import() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, listed);
    m_model.addWord("kept");
    QVERIFY(m_files.GetImportFile(write("import.txt", bytes), true));
    listed.append("kept");
    listed.sort(Qt::CaseInsensitive);
    QCOMPARE(m_model.words(), listed);
    QVERIFY(m_messages.shown.isEmpty());
    QVERIFY(m_model.isPublished());
}

void TestWordListFiles::importFailure_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text8");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << "missing.txt"
                                  << "4"
                                  << "No such file or directory";
    QTest::newRow("a folder") << "."
                              << "4"
                              << "";
    QTest::newRow("minimum not a number") << "words.txt"
                                          << "four"
                                          << "the minimum word length \"four\" is not a number";
}

void TestWordListFiles::importFailure() {
    QFETCH(QString, name);
    QFETCH(QString, text8);
    QFETCH(QString, reason);
    write("words.txt", "first\r\nsecond\r\n");
    m_text8.setText(text8);
    const QString path = m_dir.filePath(name);
    QVERIFY(!m_files.GetImportFile(path, false));
    QVERIFY(m_messages.shown.isEmpty()); // the start-up import stays silent
    QVERIFY(!m_files.GetImportFile(path, true));
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown[0].title, QString("Quenlo"));
    QVERIFY2(
        m_messages.shown[0].text.startsWith("Could not read the word list file \"" + path + "\": " + reason),
        qPrintable(m_messages.shown[0].text));
    QCOMPARE(m_model.count(), 0);
}

void TestWordListFiles::exportWritesBytesExactly_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty list") << QStringList{} << QByteArray("\r\n");
    QTest::newRow("entries in list order")
        << QStringList{"cherry ", "Banana", "apple"} << QByteArray("apple\r\nBanana\r\ncherry \r\n\r\n");
    QTest::newRow("leading spaces of the first entry only")
        << QStringList{"  a", " b"} << QByteArray("a\r\n b\r\n\r\n");
    QTest::newRow("blank first entries") << QStringList{"", "   ", "x"} << QByteArray("\r\n   \r\nx\r\n\r\n");
    QTest::newRow("system encoding") << QStringList{"Äpfel"} << QByteArray("\xC3\x84pfel\r\n\r\n");
}

void TestWordListFiles::exportWritesBytesExactly() {
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    for (const QString& entry : entries)
        m_model.addWord(entry);
    const QString path = write("saved.txt", "an older, longer file\r\n\r\n\r\n");
    m_files.setCurrentFileName(path);
    QVERIFY(m_files.ExportFile());
    QCOMPARE(read(path), bytes);
}

void TestWordListFiles::failedSaveLeavesTheOldFile_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("folder missing") << "no such folder/list.txt";
    QTest::newRow("a folder in the way") << "folder";
    // Permissions do not stop root; a name too long for a temporary file beside it does.
    QTest::newRow("no room for a temporary name") << QString(250, QChar('w'));
}

void TestWordListFiles::failedSaveLeavesTheOldFile() {
    QFETCH(QString, name);
    QVERIFY(m_dir.mkpath("folder"));
    const QString path = m_dir.filePath(name);
    if (!name.contains('/') && name != "folder")
        write(name, "the user's words\r\n");
    const QByteArray before = read(path);
    m_model.addWord("new");
    m_files.setCurrentFileName(path);
    QVERIFY(!m_files.ExportFile());
    QCOMPARE(read(path), before);
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY(m_messages.shown[0].text.startsWith("Could not save the word list to \"" + path + "\": "));
    QCOMPARE(m_dir.entryList(QDir::Files).size(), name.size() == 250 ? 1 : 0);
}

void TestWordListFiles::fileImportRemembersTheNameBeforeReading() {
    const QString missing = m_dir.filePath("gone.txt");
    m_dialogs.answers = {"", "*.kw", missing};
    m_files.fileImport();
    m_files.fileImport();
    QVERIFY(m_remembered.isEmpty());
    QVERIFY(m_messages.shown.isEmpty());
    m_files.fileImport();
    QCOMPARE(m_remembered, QStringList{missing});
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_files.currentFileName(), missing);
}

void TestWordListFiles::saveAfterImportReplacesTheImportedFile() {
    const QString path = write("list.txt", "imported\r\n");
    m_dialogs.answers = {path};
    m_files.fileImport();
    m_model.addWord("added");
    m_files.fileSave();
    QCOMPARE(m_dialogs.shown, QStringList{"open"});
    QCOMPARE(read(path), QByteArray("added\r\nimported\r\n\r\n"));
}

void TestWordListFiles::cancelledChoicesEmptyTheCurrentName() {
    const QString path = m_dir.filePath("current.txt");
    m_files.setCurrentFileName(path);
    m_dialogs.answers = {"", "", "*.kw"};
    m_files.fileSaveAs();
    QCOMPARE(m_files.currentFileName(), QString());
    m_files.fileSave();
    QCOMPARE(m_dialogs.shown, (QStringList{"save", "save"}));
    m_files.fileImport();
    QCOMPARE(m_files.currentFileName(), QString("*.kw"));
    m_files.fileSave(); // a name is set, so no dialog; it fails the name test, so nothing is written
    QCOMPARE(m_dialogs.shown.size(), 3);
    QVERIFY(m_dir.entryList(QDir::Files).isEmpty());
    QVERIFY(m_remembered.isEmpty() && m_messages.shown.isEmpty());
}

void TestWordListFiles::saveThenImportGivesTheEntriesBack() {
    for (const char* entry : {"  lead", "ab", "word", "spaced out "})
        m_model.addWord(entry);
    const QString path = m_dir.filePath("round.txt");
    m_dialogs.answers = {path};
    m_files.fileSaveAs();
    QVERIFY(m_remembered.isEmpty());
    m_model.clear();
    QVERIFY(m_files.GetImportFile(path, true));
    QCOMPARE(m_model.words(), (QStringList{"lead", "spaced out ", "word"}));
}

QTEST_MAIN(TestWordListFiles)
#include "tst_wordlistfiles.moc"
