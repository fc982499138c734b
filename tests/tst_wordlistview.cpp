// The word list's statements, its filling from the database and its four edits.
#include "platform/fakes/fakes.h"
#include "platform/sqliteconnection.h"
#include "platform/wordsfile.h"
#include "store/wordlistmodel.h"
#include "store/wordlistview.h"
#include "store/wordstatements.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

class TestWordListView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void statements_data();
    void statements();
    void fill_data();
    void fill();
    void fillListsMoreThan32767Words();
    void clearListDuringAFillLeavesTheRestToCome();
    void addWord_data();
    void addWord();
    void removeWordWalksEverySelectedEntry();
    void removeWordAsksFirst_data();
    void removeWordAsksFirst();
    void clearListLeavesTheDatabaseAlone();
    void deleteWord_data();
    void deleteWord();
    void failuresShowTheEngineText_data();
    void failuresShowTheEngineText();

private:
    void fillAll();
    void select(const QStringList& words);
    // The rows of the table as a second connection sees them: "word:type", "-" for NULL.
    QStringList stored();

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<SqliteConnection> m_words;
    std::unique_ptr<QListView> m_list;
    std::unique_ptr<QCheckBox> m_check2, m_check3;
    std::unique_ptr<QLineEdit> m_text7;
    std::unique_ptr<WordListModel> m_model;
    std::unique_ptr<FakeMessageBoxes> m_messages;
    std::unique_ptr<WordListView> m_view;
};

void TestWordListView::init() {
    m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                            QString::fromLatin1(QTest::currentDataTag()) + ".mdb");
    QVERIFY(createWordsDatabase(m_path, {{"hello", std::nullopt},
                                         {"Help", "1"},
                                         {"helmet", ""},
                                         {"world", std::nullopt},
                                         {"O'Brien", "1"},
                                         {"Hello", "1"}}));
    m_words = std::make_unique<SqliteConnection>(m_path);
    QVERIFY(m_words->open());
    QVERIFY(m_words->execute("insert into Words (Text1, Type1) values (NULL, NULL)"));
    m_list = std::make_unique<QListView>();
    m_check2 = std::make_unique<QCheckBox>();
    m_check3 = std::make_unique<QCheckBox>();
    m_text7 = std::make_unique<QLineEdit>();
    m_model = std::make_unique<WordListModel>();
    m_messages = std::make_unique<FakeMessageBoxes>();
    m_view = std::make_unique<WordListView>(m_list.get(), *m_model, m_check2.get(), m_check3.get(),
                                            m_text7.get(), *m_words, *m_messages, "example.org");
    m_list->show();
}

void TestWordListView::cleanup() {
    m_view.reset();
    m_list.reset();
    m_model.reset();
    m_words.reset();
}

void TestWordListView::fillAll() {
    m_check2->setChecked(true);
    m_check3->setChecked(true);
    m_view->FillData();
}

void TestWordListView::select(const QStringList& words) {
    m_model->publish();
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    for (const QString& word : words)
        m_list->selectionModel()->select(m_model->index(int(m_model->words().indexOf(word))),
                                         QItemSelectionModel::Select);
}

QStringList TestWordListView::stored() {
    SqliteConnection second(m_path);
    if (!second.open())
        return {"<cannot open>"};
    QStringList rows;
    auto result =
        second.execute("select ifnull(Text1, '-') || ':' || ifnull(Type1, '-') from Words order by 1 ");
    for (; result && !result->eof(); result->moveNext())
        rows.append(result->text1().value_or("<null>"));
    return rows;
}

void TestWordListView::statements_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 all") << allWordsStatement() << "select Text1 from Words order by 1 ";
    QTest::newRow("2 default") << defaultWordsStatement()
                               << "select Text1 from Words where Type1 is null or type1 = ''  order by 1 ";
    QTest::newRow("3 custom") << customWordsStatement()
                              << "select Text1 from Words where Type1  = '1'  order by 1 ";
    QTest::newRow("4 insert") << insertWordStatement("O'Brien")
                              << "insert into words (Text1, Type1) values ('O''Brien','1')";
    QTest::newRow("5 remove") << removeWordStatement("it''s")
                              << "delete from words  where text1  = 'it''''s'";
    QTest::newRow("6 delete") << deleteWordStatement("") << "Delete from Words where Text1 = ''";
    QTest::newRow("none to fill") << fillStatement(false, false).value_or("<none>") << "<none>";
}

void TestWordListView::statements() {
    QFETCH(QString, statement);
    QFETCH(QString, text);
    QCOMPARE(statement, text);
}

void TestWordListView::fill_data() {
    QTest::addColumn<bool>("showDefault");
    QTest::addColumn<bool>("showCustom");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("both") << true << true
                          << QStringList{"", "hello", "Hello", "helmet", "Help", "O'Brien", "world"};
    QTest::newRow("default") << true << false << QStringList{"", "hello", "helmet", "world"};
    QTest::newRow("custom") << false << true << QStringList{"Hello", "Help", "O'Brien"};
    QTest::newRow("neither") << false << false << QStringList{};
}

void TestWordListView::fill() {
    QFETCH(bool, showDefault);
    QFETCH(bool, showCustom);
    QFETCH(QStringList, listed);
    m_model->addWord("left over");
    m_check2->setChecked(showDefault);
    m_check3->setChecked(showCustom);
    bool enabledDuringFill = false;
    QTimer::singleShot(0, this, [&] { enabledDuringFill = m_check2->isEnabled() || m_check3->isEnabled(); });
    m_view->FillData();
    QCOMPARE(m_model->words(), listed);
    QVERIFY(!listed.isEmpty() ? !enabledDuringFill : true);
    QVERIFY(m_check2->isEnabled() && m_check3->isEnabled());
    QVERIFY(m_messages->shown.isEmpty());
}

void TestWordListView::fillListsMoreThan32767Words() {
    std::vector<WordRow> rows;
    for (int i = 0; i < 33000; ++i)
        rows.push_back({QString::number(i), std::nullopt});
    const QString path = m_dir.filePath("many.mdb");
    QVERIFY(createWordsDatabase(path, rows));
    SqliteConnection many(path);
    QVERIFY(many.open());
    WordListView view(m_list.get(), *m_model, m_check2.get(), m_check3.get(), m_text7.get(), many,
                      *m_messages, "");
    m_check2->setChecked(true);
    view.FillData();
    QCOMPARE(m_model->count(), 33000);
    QCOMPARE(m_model->rowCount(), 33000);
}

void TestWordListView::clearListDuringAFillLeavesTheRestToCome() {
    m_messages->answers = {true};
    QTimer clicker;
    int ticks = 0;
    connect(&clicker, &QTimer::timeout, this, [&] {
        if (++ticks == 3)
            m_view->clearList();
    });
    clicker.start(0);
    fillAll();
    const QStringList all{"", "hello", "Hello", "helmet", "Help", "O'Brien", "world"};
    const QStringList rest = m_model->words();
    QVERIFY2(!rest.isEmpty() && rest.size() < all.size() && all.sliced(all.size() - rest.size()) == rest,
             qPrintable(rest.join('|')));
}

void TestWordListView::addWord_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("empty") << "" << QStringList{"", "zebra"};
    QTest::newRow("apostrophe") << "it's" << QStringList{"it's", "zebra"};
    QTest::newRow("listed already") << "zebra" << QStringList{"zebra", "zebra"};
    QTest::newRow("stored already") << "Help" << QStringList{"Help", "zebra"};
}

void TestWordListView::addWord() {
    QFETCH(QString, text);
    QFETCH(QStringList, listed);
    m_model->addWord("zebra");
    const QStringList before = stored();
    m_text7->setText(text);
    m_view->addWord();
    QCOMPARE(m_model->words(), listed);
    QCOMPARE(m_text7->text(), QString());
    QVERIFY(m_messages->shown.isEmpty());
    QStringList after = stored();
    QVERIFY(after.removeOne(text + ":1"));
    QCOMPARE(after, before);
}

void TestWordListView::removeWordWalksEverySelectedEntry() {
    fillAll();
    m_model->addWord("imported");
    // Neighbours: after "hello" goes, "Hello" moves up into its row and must not be skipped.
    select({"hello", "Hello", "imported", "O'Brien"});
    m_messages->answers = {true};
    m_view->removeWord();
    QCOMPARE(m_messages->shown.size(), 1);
    QCOMPARE(m_messages->shown[0].title, QString("example.org"));
    QCOMPARE(m_messages->shown[0].text,
             QString("Are you sure that you would like to remove the selected word(s)?"));
    QCOMPARE(m_model->words(), (QStringList{"", "helmet", "Help", "world"}));
    QCOMPARE(stored(), (QStringList{"-:-", "Help:1", "helmet:", "world:-"}));
}

void TestWordListView::removeWordAsksFirst_data() {
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nothing selected")
        << false << "Could you please highlight the items you would like to remove from the List";
    QTest::newRow("answered No") << true
                                 << "Are you sure that you would like to remove the selected word(s)?";
}

void TestWordListView::removeWordAsksFirst() {
    QFETCH(bool, selected);
    QFETCH(QString, shown);
    fillAll();
    if (selected)
        select({"world"});
    const QStringList listed = m_model->words();
    const QStringList rows = stored();
    m_view->removeWord();
    QCOMPARE(m_messages->shown.size(), 1);
    QCOMPARE(m_messages->shown[0].text, shown);
    QCOMPARE(m_messages->shown[0].title, QString(selected ? "example.org" : "Quenlo"));
    QCOMPARE(m_model->words(), listed);
    QCOMPARE(stored(), rows);
}

void TestWordListView::clearListLeavesTheDatabaseAlone() {
    fillAll();
    const QStringList rows = stored();
    m_messages->answers = {false, true};
    m_view->clearList();
    QCOMPARE(m_model->count(), 7);
    m_view->clearList();
    QCOMPARE(m_model->count(), 0);
    QCOMPARE(m_messages->shown[1].title, QString("Quenlo"));
    QCOMPARE(m_messages->shown[1].text, QString("Are you sure you want to clear the list?"));
    QCOMPARE(stored(), rows);
    fillAll();
    QCOMPARE(m_model->count(), 7);
}

void TestWordListView::deleteWord_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("removed");
    QTest::newRow("apostrophe, Yes") << "O'Brien" << true << true;
    QTest::newRow("apostrophe, No") << "O'Brien" << false << false;
    QTest::newRow("default and custom, Yes") << "Hello" << true << true;
    QTest::newRow("nothing selected, Yes") << "" << true << false;
}

void TestWordListView::deleteWord() {
    QFETCH(QString, selected);
    QFETCH(bool, answer);
    QFETCH(bool, removed);
    fillAll();
    if (!selected.isEmpty())
        m_list->setCurrentIndex(m_model->index(int(m_model->words().indexOf(selected))));
    const QStringList rows = stored();
    m_messages->answers = {answer};
    m_view->deleteWord();
    QCOMPARE(m_messages->shown.size(), 1);
    QCOMPARE(m_messages->shown[0].title, QString("Quenlo - example.org"));
    QCOMPARE(m_messages->shown[0].text, "Are you sure you want to remove " + selected);
    QCOMPARE(m_model->words().contains(selected), !removed);
    QStringList left = rows;
    // The table forgets the word in every letter case and of both kinds.
    left.removeIf([&](const QString& row) {
        return removed && row.section(':', 0, 0).toLower() == selected.toLower();
    });
    QCOMPARE(stored(), left);
}

void TestWordListView::failuresShowTheEngineText_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("listed");
    const QStringList all{"", "hello", "Hello", "helmet", "Help", "O'Brien", "world"};
    QTest::newRow("fill, boxes enabled again") << "fill" << QStringList{};
    QTest::newRow("add keeps the entry and Text7") << "add" << QStringList{"word"};
    QTest::newRow("remove stops at once") << "remove" << all;
    QTest::newRow("delete keeps the entry") << "delete" << all;
}

void TestWordListView::failuresShowTheEngineText() {
    QFETCH(QString, command);
    QFETCH(QStringList, listed);
    if (command != "add" && command != "fill")
        fillAll();
    m_list->setCurrentIndex(m_model->index(1));
    m_text7->setText("word");
    m_words->close();
    m_messages->answers = {true};
    if (command == "fill")
        fillAll();
    else if (command == "add")
        m_view->addWord();
    else if (command == "remove")
        m_view->removeWord();
    else
        m_view->deleteWord();
    QCOMPARE(m_model->words(), listed);
    QCOMPARE(m_messages->shown.last().title, QString("Quenlo"));
    QCOMPARE(m_messages->shown.last().text, QString("Operation is not allowed when the object is closed."));
    QCOMPARE(m_text7->text(), QString("word"));
    QVERIFY(m_check2->isEnabled() && m_check3->isEnabled());
}

QTEST_MAIN(TestWordListView)
#include "tst_wordlistview.moc"
