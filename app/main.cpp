// Builds the application and shows the main window.
#include "app/backends.h"
#include "maker.h"
#include "platform/filedialogs.h"
#include "platform/focusguard.h"
#include "platform/messageboxes.h"
#include "platform/settingsbackend.h"
#include "platform/singleinstance.h"
#include "platform/trayicon.h"
#include "platform/webpages.h"
#include "shell/commandline.h"
#include "shell/quenloprogram.h"
#include "shell/worddatabaseplace.h"
#include "store/languagelists.h"
#include "store/sqliteconnection.h"
#include "ui/form1.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Before the application exists: the window system its windows go to. True on a Wayland session.
bool chooseWindowSystem(bool startedByInputMethod) {
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                                !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET") ||
                                qgetenv("XDG_SESSION_TYPE") == "wayland";
    // A socket a compositor hands to the input method it starts; IBus passes the variable on to its
    // engines without the descriptor, and no window of ours belongs on that connection.
    qunsetenv("WAYLAND_SOCKET");
    // A Wayland client can neither place the pop-up at the corner nor keep it from taking the focus;
    // through XWayland it can, while the keys come from the input method. The platform inherited
    // from the compositor's environment (KWin gives its input method QT_QPA_PLATFORM=wayland) was
    // chosen for someone else.
    if ((startedByInputMethod || waylandSession) && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    return waylandSession;
}

// Only an X11 session offers both routes: a Wayland one hides native applications' keys from the hook.
bool inputRouteChoosable(bool waylandSession) {
#ifdef Q_OS_LINUX
    return !waylandSession;
#else
    (void)waylandSession;
    return false;
#endif
}

// Where the system keeps the word lists of languages; Windows has no such place.
QString systemWordListFolder() {
#ifdef Q_OS_WIN
    return QString();
#else
    return QStringLiteral("/usr/share/dict");
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Before the application: --help and --version need no display.
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.action != CommandLine::Action::Run) {
        const bool shown = commandLine.action == CommandLine::Action::ShowText;
        std::fputs(commandLine.text.toLocal8Bit().constData(), shown ? stdout : stderr);
        return shown ? 0 : CommandLine::usageExitCode;
    }
    // IBus starts the program with --ibus when its engine is chosen.
    const bool startedByInputMethod = commandLine.inputMethod;
    const bool waylandSession = chooseWindowSystem(startedByInputMethod);
    QApplication application(argc, argv);

    // Before anything opens the word database: a second writer of it is what one instance prevents.
    SingleInstance instance;
    const SingleInstance::Claim claim =
        instance.claim(startedByInputMethod    ? SingleInstance::Request::InputMethod
                       : commandLine.minimized ? SingleInstance::Request::Nothing
                                               : SingleInstance::Request::Show);
    if (claim == SingleInstance::Claim::HandedOver)
        return 0;
    if (claim == SingleInstance::Claim::Unanswered) {
        std::fputs("quenlo: Quenlo is already running but does not answer; this start ends.\n", stderr);
        return 1;
    }
    if (!instance.problem().isEmpty())
        std::fprintf(stderr, "quenlo: later starts will run beside this one: %s\n",
                     instance.problem().toLocal8Bit().constData());
    QApplication::setApplicationName(applicationTitle);
    // Lets the desktop match the windows and the tray icon to the installed desktop entry.
    QGuiApplication::setDesktopFileName(maker::appId);
    // The main window hides to the tray; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QSettingsBackend settings;
    KeyboardBackendOptions keyboardOptions;
    keyboardOptions.startedByInputMethod = startedByInputMethod;
    keyboardOptions.useInputMethod =
        settings.value(applicationTitle, QStringLiteral("Options"), QStringLiteral("InputMethod"))
            .value_or(QString())
            .compare(QStringLiteral("IBus"), Qt::CaseInsensitive) == 0;
    KeyboardBackends keyboard = createKeyboardBackends(keyboardOptions);
    const std::unique_ptr<FocusGuard> focusGuard = createFocusGuard();
    QtTrayIcon tray;
    QtFileDialogs fileDialogs;
    QtMessageBoxes messages;
    DesktopWebPages webPages;
    const QString programDir = QCoreApplication::applicationDirPath();
    QString databaseProblem;
    bool databaseMade = false;
    const QString wordsFile =
        prepareWordDatabase(programDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                            databaseProblem, &databaseMade);
    SqliteConnection words(wordsFile);
    const std::unique_ptr<SessionAutostart> autostart =
        createSessionAutostart({maker::appId, QStringLiteral("Quenlo Word Complete"),
                                QStringLiteral("Completes the word you are typing in any application"),
                                QCoreApplication::applicationFilePath(),
                                QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)});

    QuenloProgram program({settings, tray, fileDialogs, messages, webPages, *keyboard.clipboard,
                           *keyboard.hook, *keyboard.injector, words, programDir, keyboard.problem, wordsFile,
                           autostart.get(), inputRouteChoosable(waylandSession), systemWordListFolder(),
                           userLocaleName(), databaseMade},
                          focusGuard.get());
    QObject::connect(&instance, &SingleInstance::requested, &program,
                     [&program](SingleInstance::Request request) {
                         if (request == SingleInstance::Request::Show)
                             program.bringToFront();
                         else if (request == SingleInstance::Request::InputMethod)
                             program.inputMethodRequested();
                     });
    program.load();
    if (!databaseProblem.isEmpty())
        program.addNotice(databaseProblem);
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        program.showProblem(
            QStringLiteral("The suggestion pop-up cannot be placed at the top-left corner, and the "
                           "desktop may give it the focus: this Wayland session has no X display "
                           "(XWayland) to show it on."));
    program.showMainWindow(commandLine.minimized);
    return application.exec();
}
