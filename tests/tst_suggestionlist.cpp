// The suggestion list's show, selection and hide rules and its order, and the pop-up Form2 that
// shows it.
#include "engine/suggestionlist.h"
#include "ui/suggestionpopup.h"

#include <QListView>
#include <QSignalSpy>
#include <QtTest>

class TestSuggestionList : public QObject {
    Q_OBJECT
private slots:
    void showAndSelectionRules() {
        SuggestionList list;
        QSignalSpy shown(&list, &SuggestionList::shownChanged);
        list.setCurrentSuggestion(QString());
        QVERIFY(!list.isShown());
        list.setCurrentSuggestion(QStringLiteral("hello"));
        QVERIFY(list.isShown() && timer(list)->isActive());
        QCOMPARE(list.currentSuggestion(), QString()); // no entry selected: emptied again

        list.fill({"c", "a", "b"});
        list.hide();
        QCOMPARE(list.rowCount(), 0); // hidden, it keeps no words for others to read
        QCOMPARE(list.currentSuggestion(), QStringLiteral("a")); // still there for the completion
        timer(list)->stop();
        list.setCurrentSuggestion(QStringLiteral("a")); // unchanged: does nothing
        QVERIFY(!list.isShown() && !timer(list)->isActive());
        list.fill({"a"}); // a lookup that finds words shows them, whatever the suggestion held
        QVERIFY(list.isShown());
        list.fill({"c", "a", "b"});
        list.selectRow(2);
        list.selectRow(7); // no such row: ignored
        QCOMPARE(list.selectedRow(), 2);
        QCOMPARE(list.currentSuggestion(), QStringLiteral("c"));
        list.selectRow(-1);
        QCOMPARE(list.currentSuggestion(), QString());
        list.fill({});
        QVERIFY(!list.isShown() && list.rowCount() == 0);
        QCOMPARE(shown, (QList<QVariantList>{{true}, {false}, {true}, {false}}));
    }

    void sortedIgnoringCase_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("case ignored, equal words keep their order")
            << "C" << QStringList{"help", "Hello", "hel", "HELMET", "hello"}
            << QStringList{"hel", "Hello", "hello", "HELMET", "help"};
        QTest::newRow("case folded beyond ASCII") << "C" << QStringList{"\u00d6lung", "\u00f6len", "Oase"}
                                                  << QStringList{"Oase", "\u00f6len", "\u00d6lung"};
        QTest::newRow("locale collation") << "de_DE" << QStringList{"Zebra", "\u00c4pfel", "birne", "apfel"}
                                          << QStringList{"apfel", "\u00c4pfel", "birne", "Zebra"};
    }
    void sortedIgnoringCase() {
        QFETCH(QString, locale);
        QFETCH(QStringList, found);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        SuggestionList list;
        QLocale::setDefault(before);
        list.fill(found);
        QTEST(list.words(), "shown");
        QCOMPARE(list.currentSuggestion(), list.words().first());
    }

    void hideTimer() {
        SuggestionList list;
        list.setHideInterval(0);
        list.setHideInterval(65536); // beyond the timer's range: ignored
        list.setHideInterval(-1);
        QCOMPARE(list.hideInterval(), 0);
        list.fill({"a", "b"});
        list.selectRow(1);
        QVERIFY(!timer(list)->isActive()); // 0 never hides
        list.setHideInterval(20);          // starts the timer that the show rule enabled
        QTRY_VERIFY(!list.isShown());
        QCOMPARE(list.currentSuggestion(), QString());
        QVERIFY(!timer(list)->isActive());
        QCOMPARE(list.rowCount(), 0);

        list.setHideInterval(5000);
        list.fill({"alpha", "beta"});
        list.hide(); // hidden by others: the timer still runs and clears the suggestion
        QVERIFY(timer(list)->isActive());
        list.setHideInterval(20);
        QTRY_COMPARE(list.currentSuggestion(), QString());
    }

    void popupFollowsTheList() {
        SuggestionList list;
        list.setHideInterval(0);
        // The hook must hold the pop-up's keys before anyone can see it, and until no one can.
        std::unique_ptr<SuggestionPopup> popup;
        QList<bool> seenWhenTold;
        connect(&list, &SuggestionList::shownChanged, this, [&] {
            seenWhenTold.append(popup && popup->isVisible());
            if (!popup) // made when first shown, as the program makes it
                popup = std::make_unique<SuggestionPopup>(list);
        });
        list.fill({"beta", "alpha", "gamma", "delta"});
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->objectName(), QStringLiteral("Form2"));
        QCOMPARE(popup->windowType(), Qt::Tool);
        QVERIFY(popup->windowFlags().testFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint |
                                               Qt::WindowDoesNotAcceptFocus));
        QVERIFY(popup->testAttribute(Qt::WA_ShowWithoutActivating));
        QListView* view = popup->findChild<QListView*>("List1");
        QCOMPARE(view->currentIndex().row(), 0);
        list.selectRow(2);
        QCOMPARE(view->currentIndex().row(), 2);
        // A clicked entry becomes the suggestion.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(list.index(1, 0)).center());
        QCOMPARE(list.currentSuggestion(), QStringLiteral("beta"));
        list.hide();
        QVERIFY(!popup->isVisible());
        QCOMPARE(seenWhenTold, (QList<bool>{false, true}));
    }

private:
    static QTimer* timer(SuggestionList& list) { return list.findChild<QTimer*>("Timer1"); }
};

QTEST_MAIN(TestSuggestionList)
#include "tst_suggestionlist.moc"
