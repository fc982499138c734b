// Tests of the About box, the help page, the request for suggestions and the promotional link.
#include "maker.h"
#include "platform/fakes/fakes.h"
#include "ui/form1.h"
#include "ui/informationcommands.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Everything a command could have changed on the window, and which windows are up.
QStringList programState(const Form1& form) {
    QStringList state{form.windowTitle(), form.notice(), form.ui().Label1->text()};
    for (const QLineEdit* box : form.findChildren<QLineEdit*>())
        state << box->objectName() + QLatin1Char('=') + box->text();
    for (const QAbstractButton* button : form.findChildren<QAbstractButton*>())
        state << button->objectName() + QLatin1Char('=') + QString::number(button->isChecked());
    for (const QAction* action : form.findChildren<QAction*>())
        state << action->objectName() + QLatin1Char('=') + QString::number(action->isChecked());
    for (const QWidget* window : QApplication::topLevelWidgets())
        state << window->objectName() + QStringLiteral(" shown=") + QString::number(window->isVisible());
    return state;
}

} // namespace

class TestInformationCommands : public QObject {
    Q_OBJECT

private slots:
    void about_text();
    void messageCommands_data();
    void messageCommands();
    void pages_leaveStateAlone_data();
    void pages_leaveStateAlone();
    void helpPage_lookup_data();
    void helpPage_lookup();
    void helpPage_shippedBesideThePrograms();
};

void TestInformationCommands::about_text() {
    const QString text = InformationCommands::aboutText();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    const QStringList expected = {"Quenlo 4.1",
                                  "",
                                  "Written by: " + maker::author,
                                  "Email: " + maker::email,
                                  "Web Site: " + maker::siteUrl + ' ',
                                  ""}; // the rest after the last line end
    QCOMPARE(lines, expected);
    // No bare line feed or carriage return hides inside a line.
    QCOMPARE(text.count(QLatin1Char('\n')), 5);
    QCOMPARE(text.count(QLatin1Char('\r')), 5);
}

void TestInformationCommands::messageCommands_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("About") << "About"
                           << "Quenlo 4.1 - " + maker::siteName << InformationCommands::aboutText();
    QTest::newRow("Suggestions") << "Suggestions"
                                 << "Quenlo"
                                 << "Could you please email any suggestions to " + maker::suggestionsEmail;
}

void TestInformationCommands::messageCommands() {
    QFETCH(QString, item);
    QFETCH(QString, title);
    QFETCH(QString, text);
    FakeMessageBoxes boxes;
    FakeWebPages pages;
    Form1 form;
    InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
    commands.connectTo(form);
    const QStringList before = programState(form);
    form.findChild<QAction*>(item)->trigger();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown.first().title, title);
    QCOMPARE(boxes.shown.first().text, text);
    QVERIFY(!boxes.shown.first().question);
    QVERIFY(pages.opened.isEmpty());
    QCOMPARE(programState(form), before);
}

void TestInformationCommands::pages_leaveStateAlone_data() {
    QTest::addColumn<bool>("promotional"); // else Help
    QTest::addColumn<bool>("browserOpens");
    QTest::newRow("help, browser opens") << false << true;
    QTest::newRow("help, no browser") << false << false;
    QTest::newRow("promotional link, browser opens") << true << true;
    QTest::newRow("promotional link, no browser") << true << false;
}

void TestInformationCommands::pages_leaveStateAlone() {
    QFETCH(bool, promotional);
    QFETCH(bool, browserOpens);
    FakeMessageBoxes boxes;
    FakeWebPages pages;
    pages.succeeds = browserOpens;
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
    commands.connectTo(form);
    const QStringList before = programState(form);

    if (promotional)
        QTest::mouseClick(form.ui().Label777, Qt::LeftButton);
    else
        form.ui().Help2->trigger();

    const QUrl expected = promotional ? QUrl(maker::promoUrl)
                                      : InformationCommands::helpPage(QCoreApplication::applicationDirPath());
    QCOMPARE(pages.opened, QList<QUrl>{expected});
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(programState(form), before);
}

void TestInformationCommands::helpPage_lookup_data() {
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("expected"); // under the temporary root, or empty for the web site
    QTest::newRow("both: beside the program wins") << true << true << "bin/quenlo-help.html";
    QTest::newRow("installed only") << false << true << "share/quenlo/quenlo-help.html";
    QTest::newRow("beside only") << true << false << "bin/quenlo-help.html";
    QTest::newRow("none: the web site") << false << false << "";
}

void TestInformationCommands::helpPage_lookup() {
    QFETCH(bool, besideProgram);
    QFETCH(bool, installed);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("bin")) && dir.mkpath(QStringLiteral("share/quenlo")));
    for (const auto& [wanted, path] : {std::pair{besideProgram, "bin/quenlo-help.html"},
                                       std::pair{installed, "share/quenlo/quenlo-help.html"}}) {
        QFile page(dir.filePath(QLatin1String(path)));
        QVERIFY(!wanted || (page.open(QIODevice::WriteOnly) && page.write("<html></html>") > 0));
    }

    const QUrl page = InformationCommands::helpPage(dir.filePath(QStringLiteral("bin")));
    if (expected.isEmpty())
        QCOMPARE(page, QUrl(maker::siteUrl));
    else
        QCOMPARE(QFileInfo(page.toLocalFile()).canonicalFilePath(),
                 QFileInfo(dir.filePath(expected)).canonicalFilePath());
}

void TestInformationCommands::helpPage_shippedBesideThePrograms() {
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

QTEST_MAIN(TestInformationCommands)
#include "tst_informationcommands.moc"
