// The main window and its information commands, the suggestion list's rules and the pop-up Form2.
#include "engine/suggestionlist.h"
#include "maker.h"
#include "tests/fakes/fakes.h"
#include "ui/form1.h"
#include "ui/informationcommands.h"
#include "ui/suggestionpopup.h"
#include "ui/windowfont.h"
#include "version.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// A main window, shown and active; a notice given here is set before it is first shown.
struct Shown {
    Form1 form;
    const Form1::Controls& c = form.ui();
    explicit Shown(const QString& notice = {}) {
        form.setNotice(notice);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
};

// Everything a command could change: each part's text and check, the title, which windows are up.
QStringList programState(const Form1& form) {
    QStringList state{form.windowTitle()};
    for (const QObject* part : form.findChildren<QObject*>())
        state << part->objectName() + '=' + part->property("text").toString() + ' ' +
                     part->property("checked").toString();
    for (const QWidget* window : QApplication::topLevelWidgets())
        state << window->objectName() + " shown=" + QString::number(window->isVisible());
    return state;
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void tabOrder_withAccessibleNames() {
        Shown w;
        QStringListModel model({QStringLiteral("alpha")});
        w.c.List1->setModel(&model);
        w.c.Text7->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w.c.Text7);
        QStringList visited;
        do {
            QWidget* stop = QApplication::focusWidget();
            // Named to an assistive tool, not merely in a property; the names themselves are the source's.
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(stop);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(),
                     qPrintable(stop->objectName()));
            visited.append(stop->objectName());
            QTest::keyClick(stop, Qt::Key_Tab);
        } while (QApplication::focusWidget() != w.c.Text7 && visited.size() < 40);
        // The option group takes the focus once, on its selected button.
        QCOMPARE(visited, (QStringList{"Text7", "Command8", "Check1", "Text8", "Text9", "Text2", "List1",
                                       "Command2", "Command1", "Text4", "Check2", "Check3", "Check4",
                                       "Check5", "Command5", "Opt2"}));
        w.c.Opt1->setChecked(true);
        w.c.Command5->setFocus();
        QTest::keyClick(w.c.Command5, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.c.Opt1);
    }

    // The help page and the manual page name every item of the Options menu, as the menu shows it.
    void documentsNameEveryOptionsItem_data() {
        QTest::addColumn<QString>("document");
        QTest::newRow("help page") << QUENLO_RESOURCES "/quenlo-help.html.in";
        QTest::newRow("manual page") << QUENLO_RESOURCES "/quenlo.1.in";
    }
    void documentsNameEveryOptionsItem() {
        QFETCH(QString, document);
        QFile file(document);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Words as a reader sees them: no markup, no line breaks of the source.
        QString text = QString::fromUtf8(file.readAll());
        text.remove(
            QRegularExpression("<[^>]*>|^\\.[A-Za-z]+ ?|\\\\f[BIRP]", QRegularExpression::MultilineOption));
        text = text.simplified();
        Form1 form;
        QList<QAction*> items = form.ui().Options->actions() + form.ui().InputRoute->actions();
        for (const QAction* item : items) {
            // A caption's name ends where its explanation begins.
            const QString name =
                item->text().remove('&').remove(u'\u2026').section(':', 0, 0).section(" (", 0, 0);
            if (!item->isSeparator())
                QVERIFY2(text.contains(name, Qt::CaseInsensitive), qPrintable(name));
        }
    }

    // The list's menu: the right button opens it where it is pressed, the keyboard at the selected
    // entry, and the selection stays the one Delete acts on.
    void list1_menu_data() {
        QTest::addColumn<int>("input"); // a mouse button, pressed on row 0, or a key
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("selected"); // before; -1: nothing
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("selectedAfter"); // -1: the list's own business
        const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier);
        QTest::newRow("right button") << int(Qt::RightButton) << none << 1 << true << 1;
        QTest::newRow("right button+Shift") << int(Qt::RightButton) << shift << 1 << true << 1;
        QTest::newRow("left button") << int(Qt::LeftButton) << none << 1 << false << 0;
        QTest::newRow("middle button") << int(Qt::MiddleButton) << none << 1 << false << -1;
        QTest::newRow("Menu key at the selected entry") << int(Qt::Key_Menu) << none << 7 << true << 7;
        QTest::newRow("Shift+F10 at the selected entry") << int(Qt::Key_F10) << shift << 1 << true << 1;
        QTest::newRow("Menu key, nothing selected") << int(Qt::Key_Menu) << none << -1 << true << -1;
        QTest::newRow("F10 alone") << int(Qt::Key_F10) << none << 1 << false << -1;
    }
    void list1_menu() {
        QFETCH(int, input);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, selected);
        QFETCH(bool, opens);
        QFETCH(int, selectedAfter);
        const bool mouse = input < Qt::Key_Escape;
        Shown w;
        QStringList words;
        for (int i = 0; i < 30; ++i)
            words << QStringLiteral("word%1").arg(i, 2, 10, QLatin1Char('0'));
        QStringListModel model(words);
        QListView* list = w.c.List1;
        QMenu* menu = w.c.RMenu;
        list->setModel(&model);
        if (selected >= 0)
            list->setCurrentIndex(model.index(selected));
        list->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), list);
        QSignalSpy deleted(w.c.DeleteMMMM, &QAction::triggered);
        const QPoint pressAt = list->visualRect(model.index(0)).center();
        if (mouse)
            QTest::mousePress(list->viewport(), Qt::MouseButton(input), modifiers, pressAt);
        else // through the window, as the key arrives from the keyboard
            QTest::keyClick(w.form.windowHandle(), Qt::Key(input), modifiers);
        QTRY_COMPARE(menu->isVisible(), opens);
        if (selectedAfter >= 0)
            QCOMPARE(list->selectionModel()->selectedRows(), QModelIndexList{model.index(selectedAfter)});
        if (!opens)
            return;
        // At the press; from the keyboard below the selected entry, or without one the entry that has
        // the focus frame.
        const QPoint expected = list->viewport()->mapToGlobal(
            mouse ? pressAt : list->visualRect(list->currentIndex()).bottomLeft());
        if (menu->screen()->availableGeometry().contains(QRect(expected, menu->sizeHint())))
            QCOMPARE(menu->pos(), expected);
        if (mouse) {
            QCOMPARE(menu->activeAction(), nullptr); // only the keyboard puts the focus on Delete
            menu->hide();
            QTest::mouseRelease(list->viewport(), Qt::MouseButton(input), modifiers, pressAt);
            list->setModel(nullptr); // without any model the right button still opens the menu
            QTest::mousePress(list->viewport(), Qt::MouseButton(input), modifiers, QPoint(5, 5));
            QVERIFY(menu->isVisible());
            return;
        }
        // Delete has the focus, which is what an assistive tool is told, and Return chooses it.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(menu);
        QVERIFY(accessible &&
                accessible->childCount() == 3); // Delete, Clear Learned Counts, Forget Learned Words
        QCOMPARE(accessible->child(0)->text(QAccessible::Name), QStringLiteral("Delete"));
        QVERIFY(accessible->child(0)->state().focused);
        QTest::keyClick(menu, Qt::Key_Return);
        QCOMPARE(deleted.size(), 1);
        QVERIFY(!menu->isVisible());
    }

    void label777_onlyALeftClickInsideCounts() {
        Shown w;
        QLabel* label = w.c.Label777;
        QSignalSpy spy(&w.form, &Form1::label777Clicked);
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
            QTest::mousePress(label, button, {}, QPoint(2, 2));
            QTest::mouseRelease(label, button, {}, QPoint(-20, -20)); // released elsewhere
            QCOMPARE(spy.size(), 0);
            QTest::mouseClick(label, button);
        }
        QCOMPARE(spy.size(), 1);
        QVERIFY(2 * QFontMetrics(label->font()).height() <= label->height()); // both lines of text show
    }

    void layout_keepsDesignedPlacesAndFitsCaptions() {
        Shown w;
        const Form1::Controls& c = w.c;
        QWidget* client = w.form.centralWidget();
        QVERIFY(client->y() >= w.form.menuBar()->geometry().bottom());
        // The option buttons are drawn over the panel, not under it.
        QCOMPARE(client->childAt(c.Opt1->geometry().center()), c.Opt1);
        QCOMPARE(client->childAt(c.Opt2->geometry().center()), c.Opt2);
        // Whatever face this system offers, no caption is cut.
        for (QWidget* control : QList<QWidget*>{c.Command8, c.Command5, c.Check1, c.Command2, c.Command1,
                                                c.Label4, c.Label5, c.Label7, c.Label2, c.Check2, c.Check3,
                                                c.Check5, c.Check4, c.Label3, c.Opt1, c.Opt2})
            QVERIFY2(windowfont::captionsFit({control}), qPrintable(control->objectName()));
        // Sizable, and the controls keep their designed places.
        const QRect placed = c.Opt1->geometry();
        w.form.resize(w.form.width() + 100, w.form.height() + 50);
        QTRY_COMPARE(client->width(), Form1::clientWidth + 100);
        QCOMPARE(c.Opt1->geometry(), placed);
    }

    void notice_keepsClientArea() {
        const QSize client(Form1::clientWidth, Form1::clientHeight);
        const QString why = QStringLiteral("completion cannot see the keyboard: no X display");
        Shown w, early(why); // early is told before it is first shown
        QVERIFY(w.form.statusBar()->isHidden());
        w.form.setNotice(why);
        w.form.setNotice(why); // a second time does not grow the window again
        for (const Form1* form : {&w.form, &early.form}) {
            QCOMPARE(form->notice(), why);
            QTRY_VERIFY(form->statusBar()->isVisible());
            QTRY_COMPARE(form->centralWidget()->size(), client);
            QVERIFY(form->statusBar()->geometry().top() > form->centralWidget()->geometry().bottom());
        }
        w.form.setNotice(QString());
        QVERIFY(w.form.statusBar()->isHidden());
        QTRY_COMPARE(w.form.centralWidget()->size(), client);
    }

    void commands_data() {
        QTest::addColumn<QString>("command"); // a menu item, or the promotional label
        QTest::addColumn<bool>("browserOpens");
        QTest::addColumn<QStringList>("shown"); // the title of each message box, then each page opened
        const QString help = InformationCommands::helpPage(QCoreApplication::applicationDirPath()).toString();
        const QString promo = QUrl(maker::promoUrl).toString();
        // A box tells, and opens nothing; its words are the source's own.
        QTest::newRow("About") << "About" << true
                               << QStringList{"Quenlo " QUENLO_VERSION " - " + maker::siteName};
        QTest::newRow("Suggestions") << "Suggestions" << true << QStringList{"Quenlo"};
        QTest::newRow("Help, browser opens") << "Help2" << true << QStringList{help};
        QTest::newRow("Help, no browser") << "Help2" << false << QStringList{help};
        QTest::newRow("promotional link, browser opens") << "Label777" << true << QStringList{promo};
    }
    void commands() {
        QFETCH(QString, command);
        QFETCH(bool, browserOpens);
        QFETCH(QStringList, shown);
        FakeMessageBoxes boxes;
        FakeWebPages pages;
        pages.succeeds = browserOpens;
        Shown w;
        InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
        commands.connectTo(w.form);
        const QStringList before = programState(w.form);
        if (command == "Label777")
            QTest::mouseClick(w.c.Label777, Qt::LeftButton);
        else
            w.form.findChild<QAction*>(command)->trigger();
        QStringList actual;
        for (const FakeMessageBoxes::Shown& box : boxes.shown) {
            QVERIFY(!box.question && !box.text.isEmpty());
            actual << box.title;
        }
        for (const QUrl& page : pages.opened)
            actual << page.toString();
        QCOMPARE(actual, shown);
        QCOMPARE(programState(w.form), before);
    }

    void helpPage_lookup() {
        QTemporaryDir root;
        const QDir dir(QDir(root.path()).canonicalPath()); // the page's path is compared resolved
        QVERIFY(dir.mkpath(QStringLiteral("bin")) && dir.mkpath(QStringLiteral("share/quenlo")));
        const auto lookup = [&] {
            const QUrl page = InformationCommands::helpPage(dir.filePath(QStringLiteral("bin")));
            return page.isLocalFile()
                       ? dir.relativeFilePath(QFileInfo(page.toLocalFile()).canonicalFilePath())
                       : page.toString();
        };
        QCOMPARE(lookup(), QUrl(maker::siteUrl).toString()); // neither: the web site
        for (const QString path : {"share/quenlo/quenlo-help.html", "bin/quenlo-help.html"}) {
            QFile page(dir.filePath(path));
            QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<html></html>") > 0);
            page.close();
            QCOMPARE(lookup(), path); // the one installed, then the one beside the program wins
        }
    }

    void helpPage_shippedBesideThePrograms() {
        // The build puts the page beside every program, this test among them: Help works offline.
        const QUrl page = InformationCommands::helpPage(QCoreApplication::applicationDirPath());
        QVERIFY2(page.isLocalFile(), qPrintable(page.toString()));
        QFile file(page.toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY(html.contains(QStringLiteral("</html>")));
        QVERIFY2(!html.contains(QStringLiteral("@HELP_")), "every placeholder is filled");
        QVERIFY(html.contains(maker::siteName.toHtmlEscaped()));
    }

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
        // Over the window typed in, which keeps the focus: on every system, not only the desktops the
        // end-to-end suites run.
        QVERIFY(popup->windowFlags().testFlags(Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus));
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

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
