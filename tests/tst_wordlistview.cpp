// The word list: the sorted model's order, the pop-up's too, and the views that hear of every
// change, in batches or not; its filling from the database and its four edits.
#include "engine/suggestionlist.h"
#include "store/sqliteconnection.h"
#include "store/wordlistmodel.h"
#include "store/wordlistview.h"
#include "store/wordstatements.h"
#include "tests/fakes/fakes.h"
#include "tests/testfiles.h"
#include "tools/wordsfile.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {
const QStringList all{"", "hello", "Hello", "helmet", "Help", "O'Brien", "world"};

// One window's worth of the word list, over a database of its own.
struct Window {
    explicit Window(const QString& path)
        : words(path) {}
    WordListModel model;
    FakeMessageBoxes messages;
    QListView list;
    QCheckBox check2, check3;
    QLineEdit text7;
    SqliteConnection words;
    std::unique_ptr<WordListView> view;
};
} // namespace

class TestWordListView : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<Window> w;

    void fillAll() {
        w->check2.setChecked(true);
        w->check3.setChecked(true);
        w->view->FillData();
    }
    // The rows of the table as a second connection sees them: "word:type", "-" for NULL.
    QStringList stored() {
        return column(m_path,
                      "select ifnull(Text1, '-') || ':' || ifnull(Type1, '-') from Words order by 1 ");
    }

private slots:
    void init() {
        m_path = m_dir.filePath(QString(QTest::currentTestFunction()) + QTest::currentDataTag() + ".mdb");
        QVERIFY(createWordsDatabase(m_path, {}));
        w = std::make_unique<Window>(m_path);
        QVERIFY(w->words.open());
        QVERIFY(w->words.execute(
            "insert into Words (Text1, Type1) values ('hello', NULL), ('Help', '1'), "
            "('helmet', ''), ('world', NULL), ('O''Brien', '1'), ('Hello', '1'), (NULL, NULL)"));
        w->view = std::make_unique<WordListView>(&w->list, w->model, &w->check2, &w->check3, &w->text7,
                                                 w->words, w->messages, "example.org", m_path);
        w->list.show();
    }
    void cleanup() { w.reset(); }

    void sortOrder_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("case ignored, equal keys in the order added")
            << "en_US" << QStringList{"b", "B", "a", "A", "ab"} << QStringList{"a", "A", "ab", "b", "B"};
        // As the pop-up sorts: accents in their place, not after "z".
        QTest::newRow("accents among the letters")
            << "de_DE" << QStringList{"ärger", "Zebra", "Äpfel", "apfel", "ÄPFEL", "été", "ete", "eta"}
            << QStringList{"apfel", "Äpfel", "ÄPFEL", "ärger", "eta", "ete", "été", "Zebra"};
        QTest::newRow("French") << "fr_FR" << QStringList{"zèbre", "Élan", "elan", "éclair", "ecole"}
                                << QStringList{"éclair", "ecole", "elan", "Élan", "zèbre"};
        QTest::newRow("Greek and Cyrillic") << "en_US" << QStringList{"ωmega", "Ωmega", "Жук", "жар"}
                                            << QStringList{"ωmega", "Ωmega", "жар", "Жук"};
#ifdef Q_OS_WIN
        // Windows keeps these two in their ASCII order; glibc puts the underscore first.
        QTest::newRow("empty and punctuation first")
            << "en_US" << QStringList{"a", "_z", "", "[b"} << QStringList{"", "[b", "_z", "a"};
#else
        QTest::newRow("empty and punctuation first")
            << "en_US" << QStringList{"a", "_z", "", "[b"} << QStringList{"", "_z", "[b", "a"};
#endif
        // In the C locale the order is Qt's case-insensitive comparison, which the random edits below
        // hold the list to; here the pop-up agrees where a collator might not.
        QTest::newRow("C: punctuation against lower case")
            << "C" << QStringList{"_", "Z", "[", "a"} << QStringList{"[", "_", "a", "Z"};
        QTest::newRow("C: letter pairs beyond 16 bits")
            << "C" << QStringList{"\U00010400x", "\U00010428a"} << QStringList{"\U00010428a", "\U00010400x"};
    }

    void sortOrder() {
        QFETCH(QString, locale);
        QFETCH(QStringList, added);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        WordListModel model;
        SuggestionList popup;
        QLocale::setDefault(before);
        for (const QString& word : added)
            model.addWord(word);
        QTEST(model.words(), "listed");
        // The pop-up lists the words it offers in the same order.
        popup.fill(added);
        QCOMPARE(popup.words(), model.words());
        QCOMPARE(popup.currentSuggestion(), popup.words().first());
    }

    void longEntriesAreShownElided() {
        WordListModel model;
        const QString longEntry(10000000, 'x');
        const QString pairAtTheCut = QString(WordListModel::displayLength - 1, 'y') + "\U0001F600tail";
        model.addWord(longEntry);
        model.addWord(pairAtTheCut);
        model.addWord("short");
        model.publish();
        const auto shown = [&model](int row) {
            return model.data(model.index(row)).toString();
        };
        QCOMPARE(shown(0), QString("short"));
        QCOMPARE(shown(1), QString(WordListModel::displayLength, 'x') + QChar(0x2026));
        QCOMPARE(model.data(model.index(1), Qt::EditRole).toString(), longEntry);
        // A letter pair is not cut in two.
        QCOMPARE(shown(2), QString(WordListModel::displayLength - 1, 'y') + QChar(0x2026));
        QCOMPARE(model.word(2), pairAtTheCut);
    }

    void scatteredAdditionsKeepSelectionsAndPersistentRows() {
        // Many separate runs of additions are told as one appended block moved into place; what
        // views and commands hold on to must follow its entry through the move.
        WordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 100; i += 2)
            model.addWord(QString::asprintf("w%03d", i));
        model.publish();
        QItemSelectionModel selection(&model);
        selection.setCurrentIndex(model.index(10), QItemSelectionModel::SelectCurrent); // w020
        const QPersistentModelIndex held(model.index(40));                              // w080
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy moved(&model, &QAbstractItemModel::layoutChanged);
        model.setPublishInterval(3600 * 1000);
        for (int i = 1; i < 100; i += 2)
            model.addWord(QString::asprintf("w%03d", i));
        model.publish();
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(moved.size(), 1);
        QCOMPARE(model.rowCount(), 100);
        for (int row = 0; row < 100; ++row)
            QCOMPARE(model.data(model.index(row)).toString(), QString::asprintf("w%03d", row));
        QCOMPARE(selection.currentIndex().row(), 20);
        QCOMPARE(selection.selectedIndexes(), QModelIndexList{model.index(20)});
        QCOMPARE(held.row(), 80);
    }

    void viewsHearOfAdditionsInBatches() {
        WordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setPublishInterval(3600 * 1000);
        model.addWord("first"); // after a quiet spell an addition is reported at once
        for (const char* word : {"d", "b", "a", "c"})
            model.addWord(word);
        QCOMPARE(model.count(), 5);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0)).toString(), QString("first"));
        model.setPublishInterval(20);
        QTRY_COMPARE(model.rowCount(), 5); // the batch comes without anyone asking
    }

    void manyRandomEditsMatchAStableSort() {
        // A mirror built only from the signals must always show what rowCount() and data() say, and end
        // equal to the list; the reference is a stable sort by Qt's case-insensitive comparison, which is
        // the C locale's order.
        const QLocale before;
        QLocale::setDefault(QLocale::c());
        WordListModel model;
        QLocale::setDefault(before);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto shownRows = [&model] {
            QStringList shown;
            for (int row = 0; row < model.rowCount(); ++row)
                shown.append(model.data(model.index(row)).toString());
            return shown;
        };
        QStringList mirror;
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex&, int first, int last) {
                    for (int row = first; row <= last; ++row)
                        mirror.insert(row, model.data(model.index(row)).toString());
                });
        connect(&model, &QAbstractItemModel::rowsRemoved, this,
                [&](const QModelIndex&, int first, int last) { mirror.remove(first, last - first + 1); });
        connect(&model, &QAbstractItemModel::modelReset, this, [&] { mirror.clear(); });
        // Scattered additions come as rows appended, then moved into place: the same entries.
        connect(&model, &QAbstractItemModel::layoutChanged, this, [&] {
            QStringList shown = shownRows();
            QStringList before = mirror;
            mirror = shown;
            before.sort();
            shown.sort();
            QCOMPARE(shown, before);
        });
        const QString letters = QStringLiteral("aAbB_[zZäÄéÉßωΩ");
        QRandomGenerator random(7);
        QStringList reference;
        for (int step = 0; step < 6000; ++step) {
            if (step == 3000) {
                model.clear();
                reference.clear();
            }
            if (random.bounded(10) == 0 && !reference.isEmpty()) {
                const int row = int(random.bounded(reference.size()));
                reference.removeAt(row);
                QVERIFY(model.removeRow(row));
            } else {
                QString word;
                for (int i = int(random.bounded(4)); i >= 0; --i)
                    word += letters[random.bounded(letters.size())];
                const auto place =
                    std::upper_bound(reference.begin(), reference.end(), word,
                                     [](auto& a, auto& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
                QCOMPARE(model.addWord(word), int(place - reference.begin()));
                reference.insert(place, word);
            }
            if (step % 500 == 0)
                QCOMPARE(shownRows(), mirror);
        }
        QCOMPARE(model.words(), reference);
        model.publish();
        QCOMPARE(mirror, reference);
        QCOMPARE(model.word(reference.size() - 1), reference.last());
    }

    void fill_data() {
        QTest::addColumn<bool>("showDefault");
        QTest::addColumn<bool>("showCustom");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("both") << true << true << all;
        QTest::newRow("default") << true << false << QStringList{"", "hello", "helmet", "world"};
        QTest::newRow("custom") << false << true << QStringList{"Hello", "Help", "O'Brien"};
        QTest::newRow("neither") << false << false << QStringList{};
    }
    void fill() {
        QFETCH(bool, showDefault);
        QFETCH(bool, showCustom);
        QFETCH(QStringList, listed);
        w->model.addWord("left over");
        w->check2.setChecked(showDefault);
        w->check3.setChecked(showCustom);
        bool enabledDuringFill = false;
        QTimer::singleShot(0, this,
                           [&] { enabledDuringFill = w->check2.isEnabled() || w->check3.isEnabled(); });
        w->view->FillData();
        QCOMPARE(w->model.words(), listed);
        QVERIFY(!listed.isEmpty() ? !enabledDuringFill : true);
        QVERIFY(w->check2.isEnabled() && w->check3.isEnabled());
        QVERIFY(w->messages.shown.isEmpty());
    }

    void fillListsMoreThan32767Words() {
        QVERIFY(w->words.execute(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 33000) "
            "insert into Words (Text1) select i from n"));
        fillAll();
        QCOMPARE(w->model.count(), 33007);
        QCOMPARE(w->model.rowCount(), 33007);
    }

    void clearListDuringAFillLeavesTheRestToCome() {
        w->messages.answers = {true};
        QTimer clicker;
        int ticks = 0;
        connect(&clicker, &QTimer::timeout, this, [&] {
            if (++ticks == 3)
                w->view->clearList();
        });
        clicker.start(0);
        fillAll();
        const QStringList rest = w->model.words();
        QVERIFY2(!rest.isEmpty() && rest.size() < all.size() && all.sliced(all.size() - rest.size()) == rest,
                 qPrintable(rest.join('|')));
    }

    void addWord_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("empty") << "" << QStringList{"", "zebra"};
        QTest::newRow("apostrophe") << "it's" << QStringList{"it's", "zebra"};
        QTest::newRow("listed already") << "zebra" << QStringList{"zebra", "zebra"};
        QTest::newRow("stored already") << "Help" << QStringList{"Help", "zebra"};
    }
    void addWord() {
        QFETCH(QString, text);
        w->model.addWord("zebra");
        const QStringList before = stored();
        w->text7.setText(text);
        w->view->addWord();
        QTEST(w->model.words(), "listed");
        QCOMPARE(w->text7.text(), QString());
        QVERIFY(w->messages.shown.isEmpty());
        QStringList after = stored();
        QVERIFY(after.removeOne(text + ":1"));
        QCOMPARE(after, before);
    }

    void edits_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("removed");
        const QString remove = "remove", del = "delete", clear = "clear";
        // Nothing selected, Remove asks for a selection instead of asking to go on.
        QTest::newRow("remove, nothing selected") << remove << QStringList{} << true << false;
        QTest::newRow("remove, No") << remove << QStringList{"world"} << false << false;
        // The main window's list selects one entry; its neighbour takes the selection when it goes.
        QTest::newRow("remove one, Yes") << remove << QStringList{"O'Brien"} << true << true;
        // After "hello" goes, "Hello" moves up into its row and must not be skipped.
        QTest::newRow("remove neighbours, Yes")
            << remove << QStringList{"hello", "Hello", "imported", "O'Brien"} << true << true;
        QTest::newRow("delete, Yes") << del << QStringList{"O'Brien"} << true << true;
        QTest::newRow("delete, No") << del << QStringList{"O'Brien"} << false << false;
        QTest::newRow("delete default and custom") << del << QStringList{"Hello"} << true << true;
        QTest::newRow("delete, nothing selected") << del << QStringList{} << true << false;
        QTest::newRow("clear, No") << clear << QStringList{} << false << false;
        QTest::newRow("clear, Yes") << clear << QStringList{} << true << true;
        // In a table with the folded key a word is one word in every letter case of every script.
        QTest::newRow("remove, folded table") << remove << QStringList{"über"} << true << true;
        QTest::newRow("delete, folded table") << del << QStringList{"über"} << true << true;
    }
    void edits() {
        QFETCH(QString, command);
        QFETCH(QStringList, selected);
        QFETCH(bool, answer);
        QFETCH(bool, removed);
        if (QByteArray(QTest::currentDataTag()).endsWith("folded table")) {
            QVERIFY(
                w->words.execute("insert into Words (Text1, Type1) values ('über', NULL), ('uber', NULL)"));
            QVERIFY(upgradeWordSchema(w->words));
            w->text7.setText("ÜBER");
            w->view->addWord();
        }
        fillAll();
        w->model.addWord("imported");
        w->model.publish();
        if (selected.size() > 1)
            w->list.setSelectionMode(QAbstractItemView::MultiSelection);
        for (const QString& word : selected)
            w->list.selectionModel()->setCurrentIndex(w->model.index(int(w->model.words().indexOf(word))),
                                                      QItemSelectionModel::Select);
        QStringList listed = w->model.words();
        QStringList rows = stored();
        w->messages.answers = {answer};
        if (command == "clear")
            w->view->clearList();
        else
            command == "remove" ? w->view->removeWord() : w->view->deleteWord();
        QCOMPARE(w->messages.shown.size(), 1);
        const FakeMessageBoxes::Shown& asked = w->messages.shown[0];
        QCOMPARE(asked.question, command != "remove" || !selected.isEmpty());
        if (command == "delete") // the word to go is named
            QVERIFY2(asked.text.endsWith(' ' + selected.value(0)), qPrintable(asked.text));
        const bool clears = command == "clear";
        if (removed && clears)
            listed.clear(); // and the table stays as it was
        for (const QString& word : removed && !clears ? selected : QStringList()) {
            listed.removeOne(word);
            // The table forgets the word in every letter case and of both kinds.
            rows.removeIf(
                [&](const QString& row) { return row.section(':', 0, 0).toLower() == word.toLower(); });
        }
        QCOMPARE(w->model.words(), listed);
        QCOMPARE(stored(), rows);
    }

    void failuresSayWhatHappenedAndWhatToDo_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("listed");
        const QStringList added{"word"};
        for (const char* fault : {"missing at start", "removed", "read-only", "not opened"}) {
            if (QByteArray(fault) != "removed") // reading a removed file still works
                QTest::addRow("fill, %s", fault) << "fill" << fault << QStringList{};
            QTest::addRow("add, %s", fault) << "add" << fault << added;
            QTest::addRow("remove, %s", fault) << "remove" << fault << all;
            QTest::addRow("delete, %s", fault) << "delete" << fault << all;
        }
    }
    void failuresSayWhatHappenedAndWhatToDo() {
        QFETCH(QString, command);
        QFETCH(QString, fault);
        if (command != "add" && command != "fill")
            fillAll();
        w->list.setCurrentIndex(w->model.index(1));
        w->text7.setText("word");
        QString engine = "attempt to write a readonly database";
        QString why;
        // Messages show file names as the system writes them: backslashes on Windows.
        const QString folder = QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
        if (fault == "missing at start" || fault == "not opened") {
            w->words.close();
            engine = "Operation is not allowed when the object is closed.";
        }
        if (fault == "missing at start" || fault == "removed") {
#ifdef Q_OS_WIN
            if (fault == "removed")
                QSKIP("Windows removes no file that a program holds open, as the engine does");
#endif
            QVERIFY(QFile::remove(m_path));
            why = "the file is missing. Put words.mdb back in " + folder + " and start Quenlo again.";
        } else if (fault == "read-only") {
            // The engine is made to refuse writes too: the file's mark does not stop root.
            QVERIFY(w->words.execute("pragma query_only = 1"));
            QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            why =
                command == "fill" ? "" : "the file is read-only. Allow changes to the file, then try again.";
        } else {
            why = "it could not be opened when Quenlo started. Start Quenlo again.";
        }
        w->messages.answers = {true};
        if (command == "fill")
            fillAll();
        else if (command == "add")
            w->view->addWord();
        else
            command == "remove" ? w->view->removeWord() : w->view->deleteWord();
        QVERIFY(w->check2.isEnabled() && w->check3.isEnabled());
        if (why.isEmpty()) { // a read-only file is read all the same
            QCOMPARE(w->model.words(), all);
            QVERIFY(w->messages.shown.isEmpty());
            return;
        }
        QTEST(w->model.words(), "listed");
        QCOMPARE(w->messages.shown.last().title, QString("Quenlo"));
        QCOMPARE(w->messages.shown.last().text,
                 "The word database " + QDir::toNativeSeparators(m_path) + " could not be " +
                     (command == "fill" ? "read" : "changed") + ": " + why + "\n\nDetails: " + engine);
        QCOMPARE(w->text7.text(), QString("word"));
    }
};

QTEST_MAIN(TestWordListView)
#include "tst_wordlistview.moc"
