// Command-line parsing with Qt's parser; help and version are answered here, not by Qt, whose own
// answers need the application object and end the process themselves.
#include "commandline.h"

#include "version.h"

#include <QCommandLineParser>

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quenlo Word Complete: shows the words that complete the word you are typing in "
                       "any application, and types the rest of the one you pick."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends."));
    const QCommandLineOption minimized(
        QStringLiteral("minimized"),
        QStringLiteral("Starts with the window hidden in the notification area, whatever Run Minimized "
                       "says. When the program already runs, leaves its window as it is."));
    const QCommandLineOption inputMethod(
        QStringLiteral("ibus"),
        QStringLiteral("Works as the IBus input method (IBus starts the program so when "
                       "Quenlo is the chosen input source)."));
    parser.addOptions({help, version, minimized, inputMethod});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::Refuse;
        line.text = QStringLiteral("quenlo: %1\nTry 'quenlo --help'.\n").arg(parser.errorText());
        return line;
    }
    if (parser.isSet(help)) {
        // Without an application object Qt cannot name the program in its usage line.
        QString text = parser.helpText();
        text = QStringLiteral("Usage: quenlo [options]") + text.mid(text.indexOf(QLatin1Char('\n')));
        line.action = CommandLine::Action::ShowText;
        line.text = text;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::ShowText;
        line.text = QStringLiteral("Quenlo Word Complete " QUENLO_VERSION "\n");
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.action = CommandLine::Action::Refuse;
        line.text = QStringLiteral("quenlo: unexpected argument '%1': the program takes options only.\n"
                                   "Try 'quenlo --help'.\n")
                        .arg(parser.positionalArguments().constFirst());
        return line;
    }
    line.minimized = parser.isSet(minimized);
    line.inputMethod = parser.isSet(inputMethod);
    return line;
}
