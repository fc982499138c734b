// Information commands of the main window; none of them changes any state of the program.
#include "ui/informationcommands.h"

#include "maker.h"
#include "platform/messageboxes.h"
#include "platform/webpages.h"
#include "ui/form1.h"
#include "version.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

InformationCommands::InformationCommands(MessageBoxes& messageBoxes, WebPages& webPages,
                                         const QString& programDir, QObject* parent)
    : QObject(parent)
    , m_messageBoxes(messageBoxes)
    , m_webPages(webPages)
    , m_programDir(programDir) {}

QString InformationCommands::aboutTitle() {
    return QStringLiteral("Quenlo " QUENLO_VERSION " - ") + maker::siteName;
}

QString InformationCommands::aboutText() {
    const QString lineEnd = QStringLiteral("\r\n");
    return QStringLiteral("Quenlo " QUENLO_VERSION) + lineEnd + lineEnd + QStringLiteral("Written by: ") +
           maker::author + lineEnd + QStringLiteral("Email: ") + maker::email + lineEnd +
           QStringLiteral("Web Site: ") + maker::siteUrl + QLatin1Char(' ') + lineEnd;
}

QString InformationCommands::suggestionsTitle() {
    return applicationTitle;
}

QString InformationCommands::suggestionsText() {
    return QStringLiteral("Could you please email any suggestions to ") + maker::suggestionsEmail;
}

QUrl InformationCommands::helpPage(const QString& programDir) {
    const QDir dir(programDir);
    const QString name = QLatin1String(helpPageName);
    for (const QString& candidate :
         {dir.filePath(name), dir.filePath(QStringLiteral("../share/quenlo/") + name)}) {
        const QFileInfo page(candidate);
        if (page.isFile())
            return QUrl::fromLocalFile(page.absoluteFilePath());
    }
    return QUrl(maker::siteUrl);
}

QUrl InformationCommands::promotionalPage() {
    return QUrl(maker::promoUrl);
}

void InformationCommands::connectTo(const Form1& window) {
    const Form1::Controls& c = window.ui();
    connect(c.About, &QAction::triggered, this, &InformationCommands::about);
    connect(c.Help2, &QAction::triggered, this, &InformationCommands::help);
    connect(c.Suggestions, &QAction::triggered, this, &InformationCommands::suggestions);
    connect(&window, &Form1::label777Clicked, this, &InformationCommands::promotionalLink);
}

void InformationCommands::about() {
    m_messageBoxes.inform(aboutTitle(), aboutText());
}

void InformationCommands::help() {
    // Whether a browser opened is not reported: a failure stays silent.
    m_webPages.open(helpPage(m_programDir));
}

void InformationCommands::suggestions() {
    m_messageBoxes.inform(suggestionsTitle(), suggestionsText());
}

void InformationCommands::promotionalLink() {
    m_webPages.open(promotionalPage());
}
