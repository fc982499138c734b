// Builds the application and shows the main window.
#include "maker.h"
#include "platform/backends.h"
#include "platform/clipboard.h"
#include "platform/filedialogs.h"
#include "platform/focusguard.h"
#include "platform/messageboxes.h"
#include "platform/settingsbackend.h"
#include "platform/sqliteconnection.h"
#include "platform/trayicon.h"
#include "platform/webpages.h"
#include "shell/quenloprogram.h"
#include "shell/worddatabaseplace.h"
#include "ui/form1.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char* argv[]) {
    // A Wayland client can neither place the pop-up at the corner nor keep it from taking the focus;
    // through XWayland it can, while the keys come from the input method.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    // Lets the desktop match the windows and the tray icon to the installed desktop entry.
    QGuiApplication::setDesktopFileName(maker::appId);
    // The main window hides to the tray; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    QSettingsBackend settings;
    KeyboardBackendOptions keyboardOptions;
    // IBus starts the program with --ibus when its engine is chosen; an X11 user may choose it too.
    keyboardOptions.startedByInputMethod = QCoreApplication::arguments().contains(QStringLiteral("--ibus"));
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
    QtClipboard clipboard;
    const QString programDir = QCoreApplication::applicationDirPath();
    QString databaseProblem;
    const QString wordsFile = prepareWordDatabase(
        programDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), databaseProblem);
    SqliteConnection words(wordsFile);
    const std::unique_ptr<SessionAutostart> autostart =
        createSessionAutostart({maker::appId, QStringLiteral("Quenlo Word Complete"),
                                QStringLiteral("Completes the word you are typing in any application"),
                                QCoreApplication::applicationFilePath(),
                                QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)});

    QuenloProgram program({settings, tray, fileDialogs, messages, webPages, clipboard, *keyboard.hook,
                           *keyboard.injector, words, programDir, keyboard.problem, wordsFile,
                           autostart.get()},
                          focusGuard.get());
    program.load();
    if (!databaseProblem.isEmpty())
        program.addNotice(databaseProblem);
    program.showMainWindow();
    return application.exec();
}
