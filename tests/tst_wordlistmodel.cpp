// The sorted word list: its order, and views that hear of every change, in batches or not.
#include "store/wordlistmodel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

class TestWordListModel : public QObject {
    Q_OBJECT
private slots:
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
        // In the C locale the order is Qt's case-insensitive comparison.
        QTest::newRow("C: case ignored")
            << "C" << QStringList{"b", "B", "a", "A", "ab"} << QStringList{"a", "A", "ab", "b", "B"};
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
        QLocale::setDefault(before);
        for (const QString& word : added)
            model.addWord(word);
        QTEST(model.words(), "listed");
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
};

QTEST_GUILESS_MAIN(TestWordListModel)
#include "tst_wordlistmodel.moc"
