// Form2: creation, the show, selection and hide rules, sorting, heights.
#include "engine/suggestionpopup.h"

#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

class TestSuggestionPopup : public QObject {
    Q_OBJECT
private slots:
    void createdHiddenAndTopmost();
    void designLayout();
    void emptySuggestionNeverShows();
    void newSuggestionShowsAndFallsBackToSelection();
    void unchangedSuggestionDoesNothing();
    void selectionBecomesSuggestion();
    void clickedEntryBecomesSuggestion();
    void clearingKeepsSuggestion();
    void sortedIgnoringCase_data();
    void sortedIgnoringCase();
    void hidesAfterInterval();
    void hiddenByOthersTimerStillRuns();
    void intervalZeroNeverHides();
    void intervalChanges_data();
    void intervalChanges();
    void reportsVisibilityChanges();
    void heightsInTwips_data();
    void heightsInTwips();
    void setOnTopKeepsPlace();

private:
    static void fill(SuggestionPopup& popup, const QStringList& words) {
        for (const QString& word : words)
            popup.addWord(word);
    }
    static QTimer* timer(SuggestionPopup& popup) {
        return popup.findChild<QTimer*>(QStringLiteral("Timer1"));
    }
};

void TestSuggestionPopup::createdHiddenAndTopmost() {
    SuggestionPopup popup;
    QVERIFY(!popup.isVisible());
    QCOMPARE(popup.objectName(), QStringLiteral("Form2"));
    QCOMPARE(popup.windowTitle(), QStringLiteral("Form2"));
    const Qt::WindowFlags flags = popup.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    QCOMPARE(popup.windowType(), Qt::Tool);
    QVERIFY(popup.testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(timer(popup));
    QVERIFY(!timer(popup)->isActive());
    QCOMPARE(timer(popup)->interval(), 5000);
    QCOMPARE(popup.hideInterval(), 5000);
    QCOMPARE(popup.currentSuggestion(), QString());
    QCOMPARE(popup.selectedRow(), -1);
}

void TestSuggestionPopup::designLayout() {
    SuggestionPopup popup;
    QCOMPARE(popup.pos(), QPoint(0, 0));
    QCOMPARE(popup.size(), QSize(127, 126)); // 1905 x 1890 twips
    QCOMPARE(popup.heightTwips(), 1890);
    QCOMPARE(popup.listHeightTwips(), 2130);
    auto* list = popup.findChild<QListWidget*>(QStringLiteral("List1"));
    QVERIFY(list);
    QCOMPARE(list->geometry(), QRect(0, 0, 161, 142)); // wider than the window: cut off on the right
    QCOMPARE(list->font().pointSize(), 12);
    QCOMPARE(list->focusPolicy(), Qt::NoFocus);
    auto* label = popup.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(0, 112, 281, 17));
}

void TestSuggestionPopup::emptySuggestionNeverShows() {
    SuggestionPopup popup;
    popup.setCurrentSuggestion(QString());
    QVERIFY(!popup.isVisible());
    QVERIFY(!timer(popup)->isActive());
}

void TestSuggestionPopup::newSuggestionShowsAndFallsBackToSelection() {
    SuggestionPopup popup;
    popup.setCurrentSuggestion(QStringLiteral("hello"));
    QVERIFY(popup.isVisible());
    QVERIFY(timer(popup)->isActive());
    // No entry is selected, so the selection rule empties it again.
    QCOMPARE(popup.currentSuggestion(), QString());

    fill(popup, {QStringLiteral("help"), QStringLiteral("hello")});
    popup.selectRow(0);
    popup.setCurrentSuggestion(QStringLiteral("help"));
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("hello"));
}

void TestSuggestionPopup::unchangedSuggestionDoesNothing() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    QVERIFY(popup.isVisible());
    popup.hide();
    timer(popup)->stop();
    popup.setCurrentSuggestion(QStringLiteral("hello"));
    QVERIFY(!popup.isVisible());
    QVERIFY(!timer(popup)->isActive());
}

void TestSuggestionPopup::selectionBecomesSuggestion() {
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
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("beta"));
    QVERIFY(timer(popup)->isActive());
}

void TestSuggestionPopup::clearingKeepsSuggestion() {
    SuggestionPopup popup;
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    popup.clearList();
    QCOMPARE(popup.rowCount(), 0);
    QCOMPARE(popup.selectedRow(), -1);
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("hello"));
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
    popup.setHideInterval(20);
    QTRY_VERIFY(!timer(popup)->isActive());
    QCOMPARE(popup.currentSuggestion(), QString());
    QVERIFY(!popup.isVisible());
}

void TestSuggestionPopup::intervalZeroNeverHides() {
    SuggestionPopup popup;
    popup.setHideInterval(0);
    fill(popup, {QStringLiteral("hello")});
    popup.selectRow(0);
    QVERIFY(!timer(popup)->isActive());
    QTest::qWait(50);
    QVERIFY(popup.isVisible());
    QCOMPARE(popup.currentSuggestion(), QStringLiteral("hello"));
}

void TestSuggestionPopup::intervalChanges_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("kept");
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("largest") << 65535 << 65535;
    QTest::newRow("too large") << 65536 << 5000;
    QTest::newRow("negative") << -1 << 5000;
}

void TestSuggestionPopup::intervalChanges() {
    QFETCH(int, interval);
    QFETCH(int, kept);
    SuggestionPopup popup;
    popup.setHideInterval(interval);
    QCOMPARE(popup.hideInterval(), kept);
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

void TestSuggestionPopup::heightsInTwips_data() {
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("empty pop-up") << 1000 << 67;
    QTest::newRow("three words") << 1600 << 107;
    QTest::newRow("its list") << 1800 << 120;
    QTest::newRow("below half a pixel") << 7 << 0;
}

void TestSuggestionPopup::heightsInTwips() {
    QFETCH(int, twips);
    QFETCH(int, pixels);
    QCOMPARE(SuggestionPopup::twipsToPixels(twips), std::optional<int>(pixels));
    SuggestionPopup popup;
    popup.setHeightTwips(twips);
    popup.setListHeightTwips(twips + 200);
    QCOMPARE(popup.heightTwips(), twips);
    QCOMPARE(popup.listHeightTwips(), twips + 200);
    QCOMPARE(popup.height(), pixels);
    QCOMPARE(popup.width(), 127);
    QCOMPARE(popup.findChild<QListWidget*>(QStringLiteral("List1"))->height(),
             *SuggestionPopup::twipsToPixels(twips + 200));
    QVERIFY(!SuggestionPopup::twipsToPixels(15 * 40000));
}

void TestSuggestionPopup::setOnTopKeepsPlace() {
    SuggestionPopup popup;
    popup.selectRow(-1);
    popup.setCurrentSuggestion(QStringLiteral("x"));
    QVERIFY(popup.isVisible());
    const QRect place = popup.geometry();
    SuggestionPopup::SetOnTop(&popup, false);
    QVERIFY(!popup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(popup.isVisible());
    QCOMPARE(popup.geometry(), place);
    SuggestionPopup::SetOnTop(&popup, true);
    QVERIFY(popup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(popup.geometry(), place);
}

QTEST_MAIN(TestSuggestionPopup)
#include "tst_suggestionpopup.moc"
