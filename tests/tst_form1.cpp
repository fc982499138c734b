// Tests of the main window: first-start values, focus order, hidden storage, menus, the word
// list's right-button menu, accessible names, geometry and the notice line.
#include "maker.h"
#include "ui/form1.h"
#include "ui/programicon.h"
#include "ui/windowfont.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringListModel>
#include <QTest>

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void firstStart_textBoxes_data();
    void firstStart_textBoxes();
    void firstStart_checkBoxesAndOptions();
    void captionAndIcon();
    void tab_visitsControlsInDesignedOrder();
    void hidden_controlsNeverShowNorTakeFocus_data();
    void hidden_controlsNeverShowNorTakeFocus();
    void menus_captionsAndItems_data();
    void menus_captionsAndItems();
    void menus_noShortcutsNoCheckMarks();
    void menus_rmenuNotOnMenuBar();
    void runMinimized_togglesCheckMark();
    void list1_mouseButtons_data();
    void list1_mouseButtons();
    void list1_rightButtonWithoutModel();
    void label777_leftClickEmits_data();
    void label777_leftClickEmits();
    void label777_lookAndText();
    void accessibleNames_data();
    void accessibleNames();
    void geometry_data();
    void geometry();
    void geometry_clientArea();
    void captions_fitTheirBoxes();
    void completionOptions_setExactly_data();
    void completionOptions_setExactly();
    void completionOptions_stayExclusiveForTheUser();
    void closeBox_isRefusedAndReported();
    void notice_showsBelowClientArea();
    void notice_setBeforeTheWindowShows();

private:
    static void showAndActivate(Form1& form);
};

void TestForm1::showAndActivate(Form1& form) {
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

void TestForm1::firstStart_textBoxes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("words shown") << "Text4"
                                 << "15";
    QTest::newRow("letters before display") << "Text9"
                                            << "3";
    QTest::newRow("minimum length to add") << "Text8"
                                           << "4";
    QTest::newRow("seconds shown") << "Text2"
                                   << "5";
    QTest::newRow("new word") << "Text7"
                              << "";
    QTest::newRow("last letter") << "Text1"
                                 << "";
    QTest::newRow("word buffer") << "Text5"
                                 << "";
}

void TestForm1::firstStart_textBoxes() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    Form1 form;
    auto* box = form.findChild<QLineEdit*>(name);
    QVERIFY(box);
    QCOMPARE(box->text(), text);
}

void TestForm1::firstStart_checkBoxesAndOptions() {
    Form1 form;
    const Form1::Controls& c = form.ui();
    QVERIFY(c.Check1->isChecked());
    QVERIFY(!c.Check2->isChecked());
    QVERIFY(!c.Check3->isChecked());
    QVERIFY(c.Check4->isChecked());
    QVERIFY(c.Check5->isChecked());
    QVERIFY(!c.Opt1->isChecked());
    QVERIFY(c.Opt2->isChecked());
    QVERIFY(!c.RunMinimized->isChecked());
    QCOMPARE(c.Label1->text(), QStringLiteral("Label1"));
    QCOMPARE(c.List1->model(), nullptr);
}

void TestForm1::captionAndIcon() {
    Form1 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quenlo Word Complete 4.1 - ") + maker::siteName);
    QCOMPARE(form.ui().Frame2->title(), QStringLiteral("Quenlo"));

    const QList<QSize> sizes = form.windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)), "both icon sizes");
    for (const QString& path : {QStringLiteral(":/quenlo/icon"), QStringLiteral(":/quenlo/icon16")}) {
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() <= 16, qPrintable(path));
    }
    QCOMPARE(QImage(QStringLiteral(":/quenlo/icon")).size(), QSize(32, 32));
    QCOMPARE(QImage(QStringLiteral(":/quenlo/icon16")).size(), QSize(16, 16));
}

void TestForm1::tab_visitsControlsInDesignedOrder() {
    Form1 form;
    auto model = std::make_unique<QStringListModel>(QStringList{QStringLiteral("alpha")});
    form.ui().List1->setModel(model.get());
    showAndActivate(form);
    form.ui().Text7->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form.ui().Text7);

    QStringList visited;
    for (int i = 0; i < 40; ++i) {
        visited.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == form.ui().Text7)
            break;
    }
    // The option group takes the focus once, on its selected button.
    const QStringList expected = {"Text7",  "Command8", "Check1",   "Text8", "Text9",  "Text2",
                                  "List1",  "Command2", "Command1", "Text4", "Check2", "Check3",
                                  "Check4", "Check5",   "Command5", "Opt2"};
    QCOMPARE(visited, expected);

    form.setCompletionOptions(true, false);
    form.ui().Command5->setFocus();
    QTest::keyClick(form.ui().Command5, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.ui().Opt1);
}

void TestForm1::hidden_controlsNeverShowNorTakeFocus_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Text1") << "Text1";
    QTest::newRow("Text5") << "Text5";
    QTest::newRow("Label1") << "Label1";
}

void TestForm1::hidden_controlsNeverShowNorTakeFocus() {
    QFETCH(QString, name);
    Form1 form;
    showAndActivate(form);
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    QVERIFY(!control->isVisible());
    QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    control->setFocus();
    QVERIFY(QApplication::focusWidget() != control);
}

void TestForm1::menus_captionsAndItems_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("items");    // objectNames in order
    QTest::addColumn<QStringList>("captions"); // exact texts in order
    QTest::newRow("File") << "FileMenu"
                          << "&File" << QStringList{"FileImport", "FileSave", "FileSave2", "Exit"}
                          << QStringList{"File Import ", "File Save", "File Save As", "Exit"};
    QTest::newRow("Options") << "Options"
                             << "&Options" << QStringList{"RunMinimized", "Suggestions"}
                             << QStringList{"Run Minimized", "Suggestions"};
    QTest::newRow("Help") << "Help"
                          << "&Help" << QStringList{"About", "Help2"} << QStringList{"About", "Help"};
    QTest::newRow("RMenu") << "RMenu"
                           << "RMenu" << QStringList{"DeleteMMMM"} << QStringList{"Delete"};
}

void TestForm1::menus_captionsAndItems() {
    QFETCH(QString, menu);
    QFETCH(QString, title);
    QFETCH(QStringList, items);
    QFETCH(QStringList, captions);
    Form1 form;
    auto* found = form.findChild<QMenu*>(menu);
    QVERIFY(found);
    QCOMPARE(found->title(), title);
    QStringList names;
    QStringList texts;
    for (const QAction* action : found->actions()) {
        names.append(action->objectName());
        texts.append(action->text());
    }
    QCOMPARE(names, items);
    QCOMPARE(texts, captions);
}

void TestForm1::menus_noShortcutsNoCheckMarks() {
    Form1 form;
    for (const QMenu* menu : form.findChildren<QMenu*>()) {
        for (const QAction* action : menu->actions()) {
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->objectName()));
            QVERIFY2(!action->isChecked(), qPrintable(action->objectName()));
            QCOMPARE(action->isCheckable(), action == form.ui().RunMinimized);
        }
    }
}

void TestForm1::menus_rmenuNotOnMenuBar() {
    Form1 form;
    showAndActivate(form);
    const Form1::Controls& c = form.ui();
    const QList<QAction*> bar = form.menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar.at(0), c.FileMenu->menuAction());
    QCOMPARE(bar.at(1), c.Options->menuAction());
    QCOMPARE(bar.at(2), c.Help->menuAction());
    QVERIFY(!bar.contains(c.RMenu->menuAction()));
    QVERIFY(!c.RMenu->isVisible());
}

void TestForm1::runMinimized_togglesCheckMark() {
    Form1 form;
    QAction* item = form.ui().RunMinimized;
    item->trigger();
    QVERIFY(item->isChecked());
    item->trigger();
    QVERIFY(!item->isChecked());
    QVERIFY(form.isHidden());
}

void TestForm1::list1_mouseButtons_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("opensMenu");
    // Row 1 was selected and the press lands on row 0; -1: the list's own business.
    QTest::addColumn<int>("selectedRowAfter");
    QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers() << true << 1;
    QTest::newRow("right with Shift")
        << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << true << 1;
    QTest::newRow("right with Ctrl") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier) << true
                                     << 1;
    QTest::newRow("right with Alt") << Qt::RightButton << Qt::KeyboardModifiers(Qt::AltModifier) << true << 1;
    QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers() << false << 0;
    QTest::newRow("middle") << Qt::MiddleButton << Qt::KeyboardModifiers() << false << -1;
}

void TestForm1::list1_mouseButtons() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, opensMenu);
    QFETCH(int, selectedRowAfter);

    Form1 form;
    QStringListModel model({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")});
    QListView* list = form.ui().List1;
    list->setModel(&model);
    showAndActivate(form);
    list->setCurrentIndex(model.index(1));

    const QPoint pressAt = list->visualRect(model.index(0)).center();
    QTest::mousePress(list->viewport(), button, modifiers, pressAt);

    QMenu* menu = form.ui().RMenu;
    QCOMPARE(menu->isVisible(), opensMenu);
    if (opensMenu) {
        // At the mouse position, unless the screen's edge pushed it.
        const QPoint globalPress = list->viewport()->mapToGlobal(pressAt);
        if (menu->screen()->availableGeometry().contains(QRect(globalPress, menu->sizeHint())))
            QCOMPARE(menu->pos(), globalPress);
        menu->hide();
    }
    if (selectedRowAfter >= 0) {
        const QModelIndexList selected = list->selectionModel()->selectedIndexes();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), selectedRowAfter);
    }
    QTest::mouseRelease(list->viewport(), button, modifiers, pressAt);
}

void TestForm1::list1_rightButtonWithoutModel() {
    Form1 form;
    showAndActivate(form);
    QTest::mousePress(form.ui().List1->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(form.ui().RMenu->isVisible());
    form.ui().RMenu->hide();
}

void TestForm1::label777_leftClickEmits_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left") << Qt::LeftButton << 1;
    QTest::newRow("right") << Qt::RightButton << 0;
    QTest::newRow("middle") << Qt::MiddleButton << 0;
}

void TestForm1::label777_leftClickEmits() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, clicks);
    Form1 form;
    showAndActivate(form);
    QSignalSpy spy(&form, &Form1::label777Clicked);
    QTest::mouseClick(form.ui().Label777, button);
    QCOMPARE(spy.size(), clicks);

    // A press that is released elsewhere is no click.
    QTest::mousePress(form.ui().Label777, button, {}, QPoint(2, 2));
    QTest::mouseRelease(form.ui().Label777, button, {}, QPoint(-20, -20));
    QCOMPARE(spy.size(), clicks);
}

void TestForm1::label777_lookAndText() {
    Form1 form;
    const Form1::Controls& c = form.ui();
    QCOMPARE(c.Label777->text(), maker::promoText);
    QCOMPARE(maker::promoText.count(QLatin1Char('\n')), 1);
    QCOMPARE(c.Label777->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(c.Label777->font().underline());
    QCOMPARE(c.Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(!c.Label3->font().underline());
    QCOMPARE(c.Label777->focusPolicy(), Qt::NoFocus);
    QVERIFY(!c.Label777->testAttribute(Qt::WA_Hover));
    // Two lines of the window's font fit the label's height.
    QVERIFY(2 * QFontMetrics(c.Label777->font()).height() <= c.Label777->height());
}

void TestForm1::accessibleNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("Text4") << "Text4"
                           << "Max words to display";
    QTest::newRow("Text8") << "Text8"
                           << "Minum Length word to Add";
    QTest::newRow("Text9") << "Text9"
                           << "Minum number of letters to entered before display";
    QTest::newRow("Text2") << "Text2"
                           << "Number of Seconds to Display Word List";
    QTest::newRow("Text7") << "Text7"
                           << "Word to add";
    QTest::newRow("List1") << "List1"
                           << "Word list";
    QTest::newRow("Command8") << "Command8"
                              << "Add Word";
    QTest::newRow("Command5") << "Command5"
                              << "Remove Word";
    QTest::newRow("Command2") << "Command2"
                              << "Clear List";
    QTest::newRow("Command1") << "Command1"
                              << "Minimize";
    QTest::newRow("Check1") << "Check1"
                            << "Enable Quenlo";
    QTest::newRow("Opt2") << "Opt2"
                          << "Hit Tab Key to Complete word";
}

void TestForm1::accessibleNames() {
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    Form1 form;
    showAndActivate(form);
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    // What an assistive tool is told, not just the property.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), accessibleName);
}

void TestForm1::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("Frame2") << "Frame2"
                            << "clientArea" << QRect(8, 8, 433, 353);
    QTest::newRow("Text7") << "Text7"
                           << "Frame2" << QRect(16, 24, 401, 19);
    QTest::newRow("List1") << "List1"
                           << "Frame2" << QRect(16, 72, 401, 95);
    QTest::newRow("Label777") << "Label777"
                              << "Frame2" << QRect(40, 168, 345, 33);
    QTest::newRow("Frame1") << "Frame1"
                            << "Frame2" << QRect(16, 200, 409, 145);
    QTest::newRow("Label7") << "Label7"
                            << "Frame1" << QRect(32, 64, 233, 17);
    QTest::newRow("Check4") << "Check4"
                            << "Frame1" << QRect(272, 72, 137, 13);
    QTest::newRow("Opt1") << "Opt1"
                          << "clientArea" << QRect(256, 304, 169, 13);
    QTest::newRow("Opt2") << "Opt2"
                          << "clientArea" << QRect(256, 320, 169, 13);
    QTest::newRow("Text5") << "Text5"
                           << "clientArea" << QRect(136, 392, 73, 19);
}

void TestForm1::geometry() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, rect);
    Form1 form;
    showAndActivate(form);
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), rect);
}

void TestForm1::geometry_clientArea() {
    Form1 form;
    showAndActivate(form);
    QCOMPARE(form.centralWidget()->size(), QSize(Form1::clientWidth, Form1::clientHeight));
    QVERIFY(form.centralWidget()->y() >= form.menuBar()->geometry().bottom());

    // The option buttons are drawn over the panel, not under it.
    QWidget* client = form.centralWidget();
    const QPoint overOpt1 = form.ui().Opt1->geometry().center();
    QCOMPARE(client->childAt(overOpt1), form.ui().Opt1);

    // The window is sizable and the controls keep their places.
    form.resize(form.width() + 100, form.height() + 50);
    QTRY_COMPARE(form.centralWidget()->width(), Form1::clientWidth + 100);
    QCOMPARE(form.ui().Opt1->geometry(), QRect(256, 304, 169, 13));
}

void TestForm1::captions_fitTheirBoxes() {
    Form1 form;
    showAndActivate(form);
    const Form1::Controls& c = form.ui();
    const QList<QWidget*> captioned = {c.Command8, c.Command5, c.Check1, c.Command2, c.Command1, c.Label4,
                                       c.Label5,   c.Label7,   c.Label2, c.Check2,   c.Check3,   c.Check5,
                                       c.Check4,   c.Label3,   c.Opt1,   c.Opt2};
    for (QWidget* control : captioned) {
        QVERIFY2(windowfont::captionsFit({control}),
                 qPrintable(control->objectName() + QStringLiteral(" in ") + control->font().family()));
    }
    QVERIFY(!windowfont::candidateFamilies().isEmpty());
    QCOMPARE(windowfont::candidateFamilies().first(), QStringLiteral("MS Sans Serif"));
}

void TestForm1::completionOptions_setExactly_data() {
    QTest::addColumn<bool>("opt1");
    QTest::addColumn<bool>("opt2");
    QTest::newRow("neither") << false << false;
    QTest::newRow("Shift") << true << false;
    QTest::newRow("Tab") << false << true;
}

void TestForm1::completionOptions_setExactly() {
    QFETCH(bool, opt1);
    QFETCH(bool, opt2);
    Form1 form;
    QSignalSpy clicked1(form.ui().Opt1, &QRadioButton::clicked);
    QSignalSpy clicked2(form.ui().Opt2, &QRadioButton::clicked);
    form.setCompletionOptions(true, false); // from a different state first
    form.setCompletionOptions(opt1, opt2);
    QCOMPARE(form.ui().Opt1->isChecked(), opt1);
    QCOMPARE(form.ui().Opt2->isChecked(), opt2);
    QCOMPARE(clicked1.size(), 0);
    QCOMPARE(clicked2.size(), 0);
}

void TestForm1::completionOptions_stayExclusiveForTheUser() {
    Form1 form;
    showAndActivate(form);
    form.setCompletionOptions(false, false);
    QTest::mouseClick(form.ui().Opt1, Qt::LeftButton);
    QVERIFY(form.ui().Opt1->isChecked());
    QVERIFY(!form.ui().Opt2->isChecked());
    QTest::mouseClick(form.ui().Opt2, Qt::LeftButton);
    QVERIFY(!form.ui().Opt1->isChecked());
    QVERIFY(form.ui().Opt2->isChecked());
    // Clicking the selected one does not turn it off.
    QTest::mouseClick(form.ui().Opt2, Qt::LeftButton);
    QVERIFY(form.ui().Opt2->isChecked());
}

void TestForm1::closeBox_isRefusedAndReported() {
    Form1 form;
    showAndActivate(form);
    QSignalSpy spy(&form, &Form1::frameCloseRequested);
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(spy.size(), 1);
}

void TestForm1::notice_showsBelowClientArea() {
    Form1 form;
    showAndActivate(form);
    QVERIFY(form.statusBar()->isHidden());
    QCOMPARE(form.notice(), QString());

    const QString why = QStringLiteral("completion cannot see the keyboard: no X display");
    form.setNotice(why);
    QCOMPARE(form.notice(), why);
    QTRY_VERIFY(form.statusBar()->isVisible());
    QTRY_COMPARE(form.centralWidget()->size(), QSize(Form1::clientWidth, Form1::clientHeight));
    QVERIFY(form.statusBar()->geometry().top() > form.centralWidget()->geometry().bottom());

    form.setNotice(why); // again: the window does not grow twice
    QTRY_COMPARE(form.centralWidget()->size(), QSize(Form1::clientWidth, Form1::clientHeight));

    form.setNotice(QString());
    QVERIFY(form.statusBar()->isHidden());
    QTRY_COMPARE(form.centralWidget()->size(), QSize(Form1::clientWidth, Form1::clientHeight));
}

void TestForm1::notice_setBeforeTheWindowShows() {
    Form1 form;
    form.setNotice(QStringLiteral("no keyboard"));
    showAndActivate(form);
    QVERIFY(form.statusBar()->isVisible());
    QTRY_COMPARE(form.centralWidget()->size(), QSize(Form1::clientWidth, Form1::clientHeight));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
