// Form2: creation, the show, selection and hide rules, sorting.
#include "engine/suggestionpopup.h"

#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

class TestSuggestionPopup : public QObject {
    Q_OBJECT
private slots:
    void createdHiddenTopmostAtTheCorner() {
        SuggestionPopup popup;
        QVERIFY(!popup.isVisible() && !timer(popup)->isActive());
        QCOMPARE(popup.objectName(), QStringLiteral("Form2"));
        QCOMPARE(popup.windowType(), Qt::Tool);
        const Qt::WindowFlags flags = popup.windowFlags();
        QVERIFY(flags.testFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint |
                                Qt::WindowDoesNotAcceptFocus));
        QVERIFY(popup.testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(popup.hideInterval(), 5000);
        // 1905 x 1890 twips at 15 twips a pixel; the list (2415 x 2130) is cut off on the right.
        QCOMPARE(popup.geometry(), QRect(0, 0, 127, 126));
        QCOMPARE(list(popup)->geometry(), QRect(0, 0, 161, 142));
    }

    void showAndSelectionRules() {
        SuggestionPopup popup;
        popup.setCurrentSuggestion(QString());
        QVERIFY(!popup.isVisible());
        popup.setCurrentSuggestion(QStringLiteral("hello"));
        QVERIFY(popup.isVisible() && timer(popup)->isActive());
        QCOMPARE(popup.currentSuggestion(), QString()); // no entry selected: emptied again

        fill(popup, {"c", "a", "b"});
        popup.hide();
        QCOMPARE(popup.rowCount(), 0); // hidden, it keeps no words for others to read
        QCOMPARE(popup.currentSuggestion(), QStringLiteral("a")); // still there for the completion
        timer(popup)->stop();
        popup.setCurrentSuggestion(QStringLiteral("a")); // unchanged: does nothing
        QVERIFY(!popup.isVisible() && !timer(popup)->isActive());
        popup.setCurrentSuggestion(QStringLiteral("x"));
        QVERIFY(popup.isVisible());
        QCOMPARE(popup.currentSuggestion(), QString()); // no entry selected any more
        fill(popup, {"c", "a", "b"});
        QCOMPARE(popup.currentSuggestion(), QStringLiteral("a"));
        popup.selectRow(2);
        popup.selectRow(7); // no such row: ignored
        QCOMPARE(popup.selectedRow(), 2);
        QCOMPARE(popup.currentSuggestion(), QStringLiteral("c"));
        popup.clearList(); // no selection: the suggestion stays
        QCOMPARE(popup.currentSuggestion(), QStringLiteral("c"));
        fill(popup, {"alpha", "beta"});
        timer(popup)->stop();
        QListWidget* words = list(popup); // a clicked entry becomes the suggestion
        QTest::mouseClick(words->viewport(), Qt::LeftButton, {},
                          words->visualItemRect(words->item(1)).center());
        QCOMPARE(popup.currentSuggestion(), QStringLiteral("beta"));
        QVERIFY(timer(popup)->isActive());
        popup.selectRow(-1);
        QCOMPARE(popup.currentSuggestion(), QString());
    }

    void sortedIgnoringCase_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("added");
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
        QFETCH(QStringList, added);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        SuggestionPopup popup;
        QLocale::setDefault(before);
        fill(popup, added);
        QStringList rows;
        for (int row = 0; row < popup.rowCount(); ++row)
            rows.append(popup.rowText(row));
        QTEST(rows, "shown");
    }

    void hideTimer() {
        SuggestionPopup popup;
        QSignalSpy changes(&popup, &SuggestionPopup::visibilityChanged);
        // The hook must hold the pop-up's keys before anyone can see it, and until no one can.
        QList<bool> seenWhenTold;
        connect(&popup, &SuggestionPopup::visibilityChanged, &popup,
                [&] { seenWhenTold.append(popup.isVisible()); });
        popup.setHideInterval(0);
        popup.setHideInterval(65536); // beyond the timer's range: ignored
        popup.setHideInterval(-1);
        QCOMPARE(popup.hideInterval(), 0);
        fill(popup, {"a", "b"});
        popup.selectRow(1);                 // already visible: no change reported
        QVERIFY(!timer(popup)->isActive()); // 0 never hides
        QCoreApplication::processEvents();
        QVERIFY(popup.isVisible());
        popup.setHideInterval(20); // starts the timer that the show rule enabled
        QTRY_VERIFY(!popup.isVisible());
        QCOMPARE(popup.currentSuggestion(), QString());
        QVERIFY(!timer(popup)->isActive());
        QCOMPARE(popup.rowCount(), 0);
        QCOMPARE(changes, (QList<QVariantList>{{true}, {false}}));
        QCOMPARE(seenWhenTold, (QList<bool>{false, false}));

        popup.setHideInterval(5000);
        fill(popup, {"alpha", "beta"});
        popup.hide(); // hidden by others: the timer still runs and clears the suggestion
        QVERIFY(timer(popup)->isActive());
        popup.setHideInterval(20);
        QTRY_COMPARE(popup.currentSuggestion(), QString());
    }

private:
    // Fills the list and selects the first row, which shows the window.
    static void fill(SuggestionPopup& popup, const QStringList& words) {
        for (const QString& word : words)
            popup.addWord(word);
        popup.selectRow(0);
    }
    static QTimer* timer(SuggestionPopup& p) { return p.findChild<QTimer*>("Timer1"); }
    static QListWidget* list(SuggestionPopup& p) { return p.findChild<QListWidget*>("List1"); }
};

QTEST_MAIN(TestSuggestionPopup)
#include "tst_suggestionpopup.moc"
