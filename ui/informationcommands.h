// The About box, the help page, the request for suggestions and the promotional link.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class Form1;
class MessageBoxes;
class WebPages;

class InformationCommands : public QObject {
    Q_OBJECT
public:
    // File name of the help page, shipped beside the program and in share/quenlo.
    static constexpr char helpPageName[] = "quenlo-help.html";

    // programDir is where the program runs from; the help page is looked for from there.
    InformationCommands(MessageBoxes& messageBoxes, WebPages& webPages, const QString& programDir,
                        QObject* parent = nullptr);

    static QString aboutTitle();
    // Five lines, each ending in CR LF, the last one too.
    static QString aboutText();
    static QString suggestionsTitle();
    static QString suggestionsText();
    // The help page beside the program, else in ../share/quenlo; the maker's web site when
    // neither exists.
    static QUrl helpPage(const QString& programDir);
    static QUrl promotionalPage();

    // Wires the window's About, Help2 and Suggestions items and its promotional label to this.
    void connectTo(const Form1& window);

public slots:
    void about();
    void help();
    void suggestions();
    void promotionalLink();

private:
    MessageBoxes& m_messageBoxes;
    WebPages& m_webPages;
    QString m_programDir;
};
