// Tests of the About box, the help page, the request for suggestions and the promotional link.
#include "maker.h"
#include "platform/fakes/fakes.h"
#include "ui/form1.h"
#include "ui/informationcommands.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Everything a command could have changed on the window.
QStringList windowState(const Form1& form) {
    QStringList state;
    for (const QLineEdit* box : form.findChildren<QLineEdit*>())
        state << box->objectName() + QLatin1Char('=') + box->text();
    for (const QAbstractButton* button : form.findChildren<QAbstractButton*>())
        state << button->objectName() + QLatin1Char('=') + QString::number(button->isChecked());
    for (const QAction* action : form.findChildren<QAction*>())
        state << action->objectName() + QLatin1Char('=') + QString::number(action->isChecked());
    state << QStringLiteral("visible=") + QString::number(form.isVisible());
    state << QStringLiteral("title=") + form.windowTitle();
    state << QStringLiteral("notice=") + form.notice();
    state << QStringLiteral("Label1=") + form.ui().Label1->text();
    return state;
}

QList<QWidget*> visibleWindows() {
    QList<QWidget*> shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            shown.append(window);
    }
    return shown;
}

bool writeFile(const QString& path) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write("<html></html>") > 0;
}

} // namespace

class TestInformationCommands : public QObject {
    Q_OBJECT

private slots:
    void about_text();
    void about_showsOneBoxAndOpensNothing();
    void suggestions_showsOneBox();
    void pages_leaveStateAlone_data();
    void pages_leaveStateAlone();
    void helpPage_lookup_data();
    void helpPage_lookup();
    void helpPage_shippedBesideThePrograms();
};

void TestInformationCommands::about_text() {
    QCOMPARE(InformationCommands::aboutTitle(), QStringLiteral("Quenlo 4.1 - ") + maker::siteName);
    const QString text = InformationCommands::aboutText();
    QVERIFY(text.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 6); // five lines and the empty rest after the last line end
    QCOMPARE(lines.at(0), QStringLiteral("Quenlo 4.1"));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), QStringLiteral("Written by: ") + maker::author);
    QCOMPARE(lines.at(3), QStringLiteral("Email: ") + maker::email);
    QCOMPARE(lines.at(4), QStringLiteral("Web Site: ") + maker::siteUrl + QLatin1Char(' '));
    QCOMPARE(lines.at(5), QString());
    // No bare line feed or carriage return hides inside a line.
    QCOMPARE(text.count(QLatin1Char('\n')), 5);
    QCOMPARE(text.count(QLatin1Char('\r')), 5);
}

void TestInformationCommands::about_showsOneBoxAndOpensNothing() {
    FakeMessageBoxes boxes;
    FakeWebPages pages;
    Form1 form;
    InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
    commands.connectTo(form);
    form.ui().About->trigger();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown.first().title, InformationCommands::aboutTitle());
    QCOMPARE(boxes.shown.first().text, InformationCommands::aboutText());
    QVERIFY(!boxes.shown.first().question);
    QVERIFY(pages.opened.isEmpty());
}

void TestInformationCommands::suggestions_showsOneBox() {
    FakeMessageBoxes boxes;
    FakeWebPages pages;
    Form1 form;
    InformationCommands commands(boxes, pages, QCoreApplication::applicationDirPath());
    commands.connectTo(form);
    const QStringList before = windowState(form);
    form.ui().Suggestions->trigger();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown.first().title, QStringLiteral("Quenlo"));
    QCOMPARE(boxes.shown.first().text,
             QStringLiteral("Could you please email any suggestions to ") + maker::suggestionsEmail);
    QVERIFY(!boxes.shown.first().question);
    QVERIFY(pages.opened.isEmpty());
    QCOMPARE(windowState(form), before);
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
    const QStringList before = windowState(form);

    if (promotional)
        QTest::mouseClick(form.ui().Label777, Qt::LeftButton);
    else
        form.ui().Help2->trigger();

    QCOMPARE(pages.opened.size(), 1);
    const QUrl expected = promotional ? QUrl(maker::promoUrl)
                                      : InformationCommands::helpPage(QCoreApplication::applicationDirPath());
    QCOMPARE(pages.opened.first(), expected);
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(windowState(form), before);
    QCOMPARE(visibleWindows(), QList<QWidget*>{&form});
}

void TestInformationCommands::helpPage_lookup_data() {
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<bool>("inShare");
    QTest::addColumn<QString>("expected"); // relative to the temporary root, or "site"
    QTest::newRow("both: beside the program wins") << true << true << "bin/quenlo-help.html";
    QTest::newRow("installed only") << false << true << "share/quenlo/quenlo-help.html";
    QTest::newRow("beside only") << true << false << "bin/quenlo-help.html";
    QTest::newRow("none: the web site") << false << false << "site";
}

void TestInformationCommands::helpPage_lookup() {
    QFETCH(bool, besideProgram);
    QFETCH(bool, inShare);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString programDir = root.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(programDir));
    if (besideProgram)
        QVERIFY(writeFile(root.filePath(QStringLiteral("bin/quenlo-help.html"))));
    if (inShare)
        QVERIFY(writeFile(root.filePath(QStringLiteral("share/quenlo/quenlo-help.html"))));

    const QUrl page = InformationCommands::helpPage(programDir);
    if (expected == QLatin1String("site")) {
        QCOMPARE(page, QUrl(maker::siteUrl));
    } else {
        QVERIFY(page.isLocalFile());
        QCOMPARE(QFileInfo(page.toLocalFile()).canonicalFilePath(),
                 QFileInfo(root.filePath(expected)).canonicalFilePath());
    }
}

void TestInformationCommands::helpPage_shippedBesideThePrograms() {
    // The build puts the page beside every program, this test among them: Help works offline.
    const QUrl page = InformationCommands::helpPage(QCoreApplication::applicationDirPath());
    QVERIFY2(page.isLocalFile(), qPrintable(page.toString()));
    QFile file(page.toLocalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(html.contains(QStringLiteral("<html")));
    QVERIFY2(!html.contains(QStringLiteral("@HELP_")), "every placeholder is filled");
    QVERIFY(html.contains(maker::siteName.toHtmlEscaped()));
}

QTEST_MAIN(TestInformationCommands)
#include "tst_informationcommands.moc"
