// Tests of the About box, the help page, the request for suggestions and the promotional link.
#include "maker.h"
#include "tests/fakes/fakes.h"
#include "ui/form1.h"
#include "ui/informationcommands.h"
#include "version.h"

#include <QtTest>
#include <QtWidgets>

namespace {

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

class TestInformationCommands : public QObject {
    Q_OBJECT

private slots:
    void commands_data() {
        QTest::addColumn<QString>("command"); // a menu item, or the promotional label
        QTest::addColumn<bool>("browserOpens");
        QTest::addColumn<QStringList>("shown"); // title and text of each message box, then each page opened
        const QString help = InformationCommands::helpPage(QCoreApplication::applicationDirPath()).toString();
        const QString promo = QUrl(maker::promoUrl).toString();
        const QString suggestion = "Could you please email any suggestions to " + maker::suggestionsEmail;
        QTest::newRow("About") << "About" << true
                               << QStringList{"Quenlo " QUENLO_VERSION " - " + maker::siteName,
                                              "Quenlo " QUENLO_VERSION "\r\n\r\nWritten by: " +
                                                  maker::author + "\r\nEmail: " + maker::email +
                                                  "\r\nWeb Site: " + maker::siteUrl + " \r\n"};
        QTest::newRow("Suggestions") << "Suggestions" << true << QStringList{"Quenlo", suggestion};
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
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
        commands.connectTo(form);
        const QStringList before = programState(form);
        if (command == "Label777")
            QTest::mouseClick(form.ui().Label777, Qt::LeftButton);
        else
            form.findChild<QAction*>(command)->trigger();
        QStringList actual;
        for (const FakeMessageBoxes::Shown& box : boxes.shown) {
            QVERIFY(!box.question);
            actual << box.title << box.text;
        }
        for (const QUrl& page : pages.opened)
            actual << page.toString();
        QCOMPARE(actual, shown);
        QCOMPARE(programState(form), before);
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
};

QTEST_MAIN(TestInformationCommands)
#include "tst_informationcommands.moc"
