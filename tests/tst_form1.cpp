// Tests of the main window: first-start values, focus order, menus, the word list's right-button
// menu, the promotional label, accessible names, geometry and the notice line.
#include "maker.h"
#include "ui/form1.h"
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
    void firstStart_data();
    void firstStart();
    void captionAndIcon();
    void tab_visitsControlsInDesignedOrder();
    void menus_data();
    void menus();
    void menus_barHoldsThreeAndRunMinimizedToggles();
    void list1_mouseButtons_data();
    void list1_mouseButtons();
    void label777_data();
    void label777();
    void accessibleNames_data();
    void accessibleNames();
    void geometry_data();
    void geometry();
    void clientArea_sizeOverlapAndFit();
    void completionOptions_setExactlyYetExclusiveForTheUser();
    void closeBox_isRefusedAndReported();
    void notice_keepsClientArea();

private:
    static void showAndActivate(Form1& form) {
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
};

void TestForm1::firstStart_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("Text4 words shown") << "Text4" << QByteArray("text") << QVariant("15");
    QTest::newRow("Text9 letters before display") << "Text9" << QByteArray("text") << QVariant("3");
    QTest::newRow("Text8 minimum length") << "Text8" << QByteArray("text") << QVariant("4");
    QTest::newRow("Text2 seconds shown") << "Text2" << QByteArray("text") << QVariant("5");
    QTest::newRow("Text7 empty") << "Text7" << QByteArray("text") << QVariant("");
    QTest::newRow("Check1 enabled") << "Check1" << QByteArray("checked") << QVariant(true);
    QTest::newRow("Check2 unticked") << "Check2" << QByteArray("checked") << QVariant(false);
    QTest::newRow("Check3 unticked") << "Check3" << QByteArray("checked") << QVariant(false);
    QTest::newRow("Check4 ticked") << "Check4" << QByteArray("checked") << QVariant(true);
    QTest::newRow("Check5 ticked") << "Check5" << QByteArray("checked") << QVariant(true);
    QTest::newRow("Opt1 off") << "Opt1" << QByteArray("checked") << QVariant(false);
    QTest::newRow("Opt2 selected") << "Opt2" << QByteArray("checked") << QVariant(true);
    QTest::newRow("RunMinimized unchecked") << "RunMinimized" << QByteArray("checked") << QVariant(false);
    // Working storage: present, never shown, never focused.
    QTest::newRow("Text1 hidden") << "Text1" << QByteArray("visible") << QVariant(false);
    QTest::newRow("Text5 hidden") << "Text5" << QByteArray("visible") << QVariant(false);
    QTest::newRow("Label1 hidden") << "Label1" << QByteArray("visible") << QVariant(false);
    QTest::newRow("Text1 no focus") << "Text1" << QByteArray("focusPolicy") << QVariant(int(Qt::NoFocus));
    QTest::newRow("Text5 no focus") << "Text5" << QByteArray("focusPolicy") << QVariant(int(Qt::NoFocus));
    QTest::newRow("Label1 caption") << "Label1" << QByteArray("text") << QVariant("Label1");
}

void TestForm1::firstStart() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    Form1 form;
    showAndActivate(form);
    QObject* control = form.findChild<QObject*>(name);
    QVERIFY(control);
    QVariant actual = control->property(property.constData());
    if (property == "focusPolicy")
        actual = actual.toInt();
    QCOMPARE(actual, value);
}

void TestForm1::captionAndIcon() {
    Form1 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quenlo Word Complete 4.1 - ") + maker::siteName);
    QCOMPARE(form.ui().Frame2->title(), QStringLiteral("Quenlo"));
    QCOMPARE(form.ui().List1->model(), nullptr);

    const QList<QSize> sizes = form.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)));
    for (const QString path : {":/quenlo/icon", ":/quenlo/icon16"}) {
        const QImage image(path);
        QCOMPARE(image.width(), path.endsWith(QLatin1String("16")) ? 16 : 32);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() <= 16, qPrintable(path));
    }
}

void TestForm1::tab_visitsControlsInDesignedOrder() {
    Form1 form;
    QStringListModel model({QStringLiteral("alpha")});
    form.ui().List1->setModel(&model);
    showAndActivate(form);
    form.ui().Text7->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form.ui().Text7);

    QStringList visited;
    do {
        visited.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } while (QApplication::focusWidget() != form.ui().Text7 && visited.size() < 40);
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

void TestForm1::menus_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("items"); // "objectName=caption" in order
    QTest::newRow("File") << "FileMenu"
                          << "&File"
                          << QStringList{"FileImport=File Import ", "FileSave=File Save",
                                         "FileSave2=File Save As", "Exit=Exit"};
    QTest::newRow("Options") << "Options"
                             << "&Options"
                             << QStringList{"RunMinimized=Run Minimized", "Suggestions=Suggestions"};
    QTest::newRow("Help") << "Help"
                          << "&Help" << QStringList{"About=About", "Help2=Help"};
    QTest::newRow("RMenu") << "RMenu"
                           << "RMenu" << QStringList{"DeleteMMMM=Delete"};
}

void TestForm1::menus() {
    QFETCH(QString, menu);
    QFETCH(QString, title);
    QFETCH(QStringList, items);
    Form1 form;
    auto* found = form.findChild<QMenu*>(menu);
    QVERIFY(found);
    QCOMPARE(found->title(), title);
    QStringList actual;
    for (const QAction* action : found->actions()) {
        actual.append(action->objectName() + QLatin1Char('=') + action->text());
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(!action->isChecked());
    }
    QCOMPARE(actual, items);
}

void TestForm1::menus_barHoldsThreeAndRunMinimizedToggles() {
    Form1 form;
    showAndActivate(form);
    const Form1::Controls& c = form.ui();
    const QList<QAction*> expected = {c.FileMenu->menuAction(), c.Options->menuAction(),
                                      c.Help->menuAction()};
    QCOMPARE(form.menuBar()->actions(), expected);
    QVERIFY(!c.RMenu->isVisible());

    for (const QAction* action : form.findChildren<QAction*>())
        QCOMPARE(action->isCheckable(), action == c.RunMinimized);
    c.RunMinimized->trigger();
    QVERIFY(c.RunMinimized->isChecked());
    c.RunMinimized->trigger();
    QVERIFY(!c.RunMinimized->isChecked());
}

void TestForm1::list1_mouseButtons_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("opensMenu");
    // Row 1 was selected and the press lands on row 0; -1: the list's own business.
    QTest::addColumn<int>("selectedRowAfter");
    QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers() << true << 1;
    QTest::newRow("right+Shift") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << true << 1;
    QTest::newRow("right+Ctrl") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier) << true << 1;
    QTest::newRow("right+Alt") << Qt::RightButton << Qt::KeyboardModifiers(Qt::AltModifier) << true << 1;
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

    // Without any model the right button still opens the menu.
    list->setModel(nullptr);
    QTest::mousePress(list->viewport(), button, modifiers, QPoint(5, 5));
    QCOMPARE(menu->isVisible(), opensMenu);
    menu->hide();
}

void TestForm1::label777_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left") << Qt::LeftButton << 1;
    QTest::newRow("right") << Qt::RightButton << 0;
    QTest::newRow("middle") << Qt::MiddleButton << 0;
}

void TestForm1::label777() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, clicks);
    Form1 form;
    showAndActivate(form);
    QLabel* label = form.ui().Label777;
    QSignalSpy spy(&form, &Form1::label777Clicked);
    QTest::mouseClick(label, button);
    QCOMPARE(spy.size(), clicks);
    // A press released elsewhere is no click.
    QTest::mousePress(label, button, {}, QPoint(2, 2));
    QTest::mouseRelease(label, button, {}, QPoint(-20, -20));
    QCOMPARE(spy.size(), clicks);

    QCOMPARE(label->text(), maker::promoText);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(label->font().underline());
    QVERIFY(2 * QFontMetrics(label->font()).height() <= label->height());
    QCOMPARE(form.ui().Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0));
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
    QTest::newRow("Command5") << "Command5"
                              << "Remove Word";
    QTest::newRow("Check1") << "Check1"
                            << "Enable Quenlo";
    QTest::newRow("Opt2") << "Opt2"
                          << "Hit Tab Key to Complete word";
}

void TestForm1::accessibleNames() {
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    Form1 form;
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    // What an assistive tool is told, not merely the property.
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

void TestForm1::clientArea_sizeOverlapAndFit() {
    Form1 form;
    showAndActivate(form);
    const Form1::Controls& c = form.ui();
    QWidget* client = form.centralWidget();
    QCOMPARE(client->size(), QSize(Form1::clientWidth, Form1::clientHeight));
    QVERIFY(client->y() >= form.menuBar()->geometry().bottom());
    // The option buttons are drawn over the panel, not under it.
    QCOMPARE(client->childAt(c.Opt1->geometry().center()), c.Opt1);
    QCOMPARE(client->childAt(c.Opt2->geometry().center()), c.Opt2);

    // Whatever face this system offers, no caption is cut.
    for (QWidget* control : QList<QWidget*>{c.Command8, c.Command5, c.Check1, c.Command2, c.Command1,
                                            c.Label4, c.Label5, c.Label7, c.Label2, c.Check2, c.Check3,
                                            c.Check5, c.Check4, c.Label3, c.Opt1, c.Opt2}) {
        QVERIFY2(windowfont::captionsFit({control}), qPrintable(control->objectName()));
    }

    // Sizable, and the controls keep their places.
    form.resize(form.width() + 100, form.height() + 50);
    QTRY_COMPARE(client->width(), Form1::clientWidth + 100);
    QCOMPARE(c.Opt1->geometry(), QRect(256, 304, 169, 13));
}

void TestForm1::completionOptions_setExactlyYetExclusiveForTheUser() {
    Form1 form;
    showAndActivate(form);
    QRadioButton* opt1 = form.ui().Opt1;
    QRadioButton* opt2 = form.ui().Opt2;
    QSignalSpy clicks1(opt1, &QRadioButton::clicked);
    QSignalSpy clicks2(opt2, &QRadioButton::clicked);
    for (const auto& [one, two] : {std::pair{true, false}, {false, false}, {false, true}, {false, false}}) {
        form.setCompletionOptions(one, two);
        QCOMPARE(opt1->isChecked(), one);
        QCOMPARE(opt2->isChecked(), two);
    }
    QCOMPARE(clicks1.size() + clicks2.size(), 0);

    // From neither selected, the user's clicks still select exactly one.
    QTest::mouseClick(opt1, Qt::LeftButton);
    QVERIFY(opt1->isChecked() && !opt2->isChecked());
    QTest::mouseClick(opt2, Qt::LeftButton);
    QVERIFY(!opt1->isChecked() && opt2->isChecked());
    QTest::mouseClick(opt2, Qt::LeftButton);
    QVERIFY(opt2->isChecked());
}

void TestForm1::closeBox_isRefusedAndReported() {
    Form1 form;
    showAndActivate(form);
    QSignalSpy spy(&form, &Form1::frameCloseRequested);
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(spy.size(), 1);
}

void TestForm1::notice_keepsClientArea() {
    const QSize client(Form1::clientWidth, Form1::clientHeight);
    const QString why = QStringLiteral("completion cannot see the keyboard: no X display");
    Form1 form;
    showAndActivate(form);
    QVERIFY(form.statusBar()->isHidden());
    QCOMPARE(form.notice(), QString());

    form.setNotice(why);
    form.setNotice(why); // a second time does not grow the window again
    QCOMPARE(form.notice(), why);
    QTRY_VERIFY(form.statusBar()->isVisible());
    QTRY_COMPARE(form.centralWidget()->size(), client);
    QVERIFY(form.statusBar()->geometry().top() > form.centralWidget()->geometry().bottom());

    form.setNotice(QString());
    QVERIFY(form.statusBar()->isHidden());
    QTRY_COMPARE(form.centralWidget()->size(), client);

    Form1 early; // told before it is first shown
    early.setNotice(why);
    showAndActivate(early);
    QVERIFY(early.statusBar()->isVisible());
    QTRY_COMPARE(early.centralWidget()->size(), client);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
