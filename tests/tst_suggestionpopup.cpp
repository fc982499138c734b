// Form2: creation, the show, selection and hide rules, sorting, heights.
#include "engine/suggestionpopup.h"
#include "platform/twips.h"

#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

class TestSuggestionPopup : public QObject {
    Q_OBJECT
private slots:
    void createdHiddenTopmostAtTheCorner();
    void showRule();
    void unchangedSuggestionDoesNothing();
    void selectionRule();
    void clickedEntryBecomesSuggestion();
    void sortedIgnoringCase_data();
    void sortedIgnoringCase();
    void hidesAfterInterval();
    void hiddenByOthersTimerStillRuns();
    void intervalZeroNeverHides();
    void reportsVisibilityChanges();
    void heightsHeldBackWhileFilling();

private:
    static void fill(SuggestionPopup& popup, const QStringList& words) {
        for (const QString& word : words)
            popup.addWord(word);
    }
    static QTimer* timer(SuggestionPopup& popup) {
        return popup.findChild<QTimer*>(QStringLiteral("Timer1"));
    }
};

void TestSuggestionPopup::createdHiddenTopmostAtTheCorner() {
    SuggestionPopup popup;
    QVERIFY(!popup.isVisible());
    QCOMPARE(popup.objectName(), QStringLiteral("Form2"));
    QCOMPARE(popup.windowType(), Qt::Tool);
    const Qt::WindowFlags flags = popup.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint) && flags.testFlag(Qt::FramelessWindowHint) &&
            flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(popup.testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(!timer(popup)->isActive());
    QCOMPARE(popup.hideInterval(), 5000);
    // 1905 x 1890 twips at 15 twips a pixel; the list (2415 x 2130) is cut off on the right.
    QCOMPARE(popup.geometry(), QRect(0, 0, 127, 126));
    QCOMPARE(popup.findChild<QListWidget*>(QStringLiteral("List1"))->geometry(), QRect(0, 0, 161, 142));
    QVERIFY(popup.findChild<QLabel*>(QStringLiteral("Label1")));

    SuggestionPopup::SetOnTop(&popup, false);
    QVERIFY(!popup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(popup.geometry(), QRect(0, 0, 127, 126));
    QVERIFY(!popup.isVisible());
}

void TestSuggestionPopup::showRule() {
    SuggestionPopup popup;
    popup.setCurrentSuggestion(QString());
    QVERIFY(!popup.isVisible());

    popup.setCurrentSuggestion(QStringLiteral("hello"));
    QVERIFY(popup.isVisible());
    QVERIFY(timer(popup)->isActive());
    // No entry is selected, so the selection rule empties it again.
    QCOMPARE(popup.currentSuggestion(), QString());

    fill(popup, {QStringLiteral("help"), QStringLiteral("hello")});
    popup.selectRow(0);
    popup.setCurrentSuggestion(QStringLiteral("help"));
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("hello"));
    // Emptying the list is no selection: the suggestion stays.
    popup.clearList();
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("hello"));
}

void TestSuggestionPopup::unchangedSuggestionDoesNothing() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    popup.hide();
    timer(popup)->stop();
    popup.setCurrentSuggestion(QStringLiteral("hello"));
    QVERIFY(!popup.isVisible());
    QVERIFY(!timer(popup)->isActive());
}

void TestSuggestionPopup::selectionRule() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")});
    popup.selectRow(2);
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("c"));
    popup.selectRow(7); // no such row: ignored
    QCOMPARE(popup.selectedRow(), 2);
    popup.selectRow(-1);
    QCOMPARE(popup.currentSuggestion(), QString());
    QVERIFY(popup.isVisible());
}

void TestSuggestionPopup::clickedEntryBecomesSuggestion() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("alpha"), QStringLiteral("beta")});
    popup.selectRow(0);
    timer(popup)->stop();
    auto* list = popup.findChild<QListWidget*>(QStringLiteral("List1"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("beta"));
    QVERIFY(timer(popup)->isActive());
}

void TestSuggestionPopup::sortedIgnoringCase_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("letter case ignored") << "C" << QStringList{"help", "Hello", "hel", "HELMET"}
                                         << QStringList{"hel", "Hello", "HELMET", "help"};
    QTest::newRow("equal words keep their order")
        << "C" << QStringList{"hello", "Hello", "HELLO"} << QStringList{"hello", "Hello", "HELLO"};
    QTest::newRow("case folded beyond ASCII") << "C" << QStringList{"\u00d6lung", "\u00f6len", "Oase"}
                                              << QStringList{"Oase", "\u00f6len", "\u00d6lung"};
    QTest::newRow("locale collation") << "de_DE" << QStringList{"Zebra", "\u00c4pfel", "birne", "apfel"}
                                      << QStringList{"apfel", "\u00c4pfel", "birne", "Zebra"};
}

void TestSuggestionPopup::sortedIgnoringCase() {
    QFETCH(QString, locale);
    QFETCH(QStringList, added);
    QFETCH(QStringList, shown);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    SuggestionPopup popup;
    QLocale::setDefault(before);
    fill(popup, added);
    QStringList rows;
    for (int row = 0; row < popup.rowCount(); ++row)
        rows.append(popup.rowText(row));
    QCOMPARE(rows, shown);
}

void TestSuggestionPopup::hidesAfterInterval() {
    SuggestionPopup popup;
    popup.setHideInterval(30);
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    QVERIFY(popup.isVisible());
    QTRY_VERIFY(!popup.isVisible());
    QCOMPARE(popup.currentSuggestion(), QString());
    QVERIFY(!timer(popup)->isActive());
    QCOMPARE(popup.selectedRow(), 0); // the list itself is left as it was
}

void TestSuggestionPopup::hiddenByOthersTimerStillRuns() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    popup.hide();
    QVERIFY(timer(popup)->isActive());
    popup.setHideInterval(20); // restarts the running timer
    QTRY_VERIFY(!timer(popup)->isActive());
    QCOMPARE(popup.currentSuggestion(), QString());
}

void TestSuggestionPopup::intervalZeroNeverHides() {
    SuggestionPopup popup;
    popup.setHideInterval(0);
    popup.setHideInterval(65536); // beyond the timer's range: ignored
    popup.setHideInterval(-1);
    QCOMPARE(popup.hideInterval(), 0);
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    QVERIFY(!timer(popup)->isActive());
    QTest::qWait(50);
    QVERIFY(popup.isVisible());
    // A time set later starts the timer that the show rule enabled.
    popup.setHideInterval(20);
    QTRY_VERIFY(!popup.isVisible());
}

void TestSuggestionPopup::reportsVisibilityChanges() {
    SuggestionPopup popup;
    QSignalSpy changes(&popup, &SuggestionPopup::visibilityChanged);
    fill(popup, {QStringLiteral("a"), QStringLiteral("b")});
    popup.selectRow(0);
    popup.selectRow(1); // already visible: no change
    popup.hide();
    popup.hide();
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(0).at(0).toBool(), true);
    QCOMPARE(changes.at(1).at(0).toBool(), false);
}

void TestSuggestionPopup::heightsHeldBackWhileFilling() {
    SuggestionPopup popup;
    auto* list = popup.findChild<QListWidget*>(QStringLiteral("List1"));
    {
        const SuggestionPopup::FillBatch outer(popup);
        {
            const SuggestionPopup::FillBatch inner(popup);
            popup.setHeightTwips(1600);
            popup.setListHeightTwips(1800);
        }
        QCOMPARE(popup.heightTwips(), 1600);
        QCOMPARE(popup.height(), 126);
        QVERIFY(!list->updatesEnabled());
    }
    QCOMPARE(popup.height(), 107); // 106.67 pixels, rounded
    QCOMPARE(list->height(), 120);
    QVERIFY(list->updatesEnabled());
    QVERIFY(!twipsToPixels(15 * 40000));
}

QTEST_MAIN(TestSuggestionPopup)
#include "tst_suggestionpopup.moc"
