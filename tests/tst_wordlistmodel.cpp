// The sorted word list: its order, and views that hear of every change, in batches or not.
#include "store/wordlistmodel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

class TestWordListModel : public QObject {
    Q_OBJECT
private slots:
    void sortOrder_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("case ignored, equal keys in the order added")
            << QStringList{"b", "B", "a", "A", "ab"} << QStringList{"a", "A", "ab", "b", "B"};
        QTest::newRow("punctuation against lower case")
            << QStringList{"_", "Z", "[", "a"} << QStringList{"[", "_", "a", "Z"};
        QTest::newRow("beyond ASCII") << QStringList{"ärger", "Zebra", "Äpfel", "apfel", "ÄPFEL"}
                                      << QStringList{"apfel", "Zebra", "Äpfel", "ÄPFEL", "ärger"};
        QTest::newRow("Greek and Cyrillic")
            << QStringList{"ωmega", "Ωmega", "Жук", "жар"} << QStringList{"ωmega", "Ωmega", "жар", "Жук"};
        QTest::newRow("letter pairs beyond 16 bits")
            << QStringList{"\U00010400x", "\U00010428a"} << QStringList{"\U00010428a", "\U00010400x"};
        QTest::newRow("empty and spaces first")
            << QStringList{"a", " z", "", "  "} << QStringList{"", "  ", " z", "a"};
    }

    void sortOrder() {
        QFETCH(QStringList, added);
        QFETCH(QStringList, listed);
        WordListModel model;
        for (const QString& word : added)
            model.addWord(word);
        QCOMPARE(model.words(), listed);
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
        // equal to the list; the reference is a stable sort by Qt's case-insensitive comparison.
        WordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList mirror;
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex&, int first, int last) {
                    for (int row = first; row <= last; ++row)
                        mirror.insert(row, model.data(model.index(row)).toString());
                });
        connect(&model, &QAbstractItemModel::rowsRemoved, this,
                [&](const QModelIndex&, int first, int last) { mirror.remove(first, last - first + 1); });
        connect(&model, &QAbstractItemModel::modelReset, this, [&] { mirror.clear(); });
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
            if (step % 500 == 0) {
                QStringList shown;
                for (int row = 0; row < model.rowCount(); ++row)
                    shown.append(model.data(model.index(row)).toString());
                QCOMPARE(shown, mirror);
            }
        }
        QCOMPARE(model.words(), reference);
        model.publish();
        QCOMPARE(mirror, reference);
        QCOMPARE(model.word(reference.size() - 1), reference.last());
    }
};

QTEST_GUILESS_MAIN(TestWordListModel)
#include "tst_wordlistmodel.moc"
