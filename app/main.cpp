// Builds the application and shows the main window.
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
#include "ui/form1.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(applicationTitle);
    // The main window hides to the tray; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    KeyboardBackends keyboard = createKeyboardBackends();
    const std::unique_ptr<FocusGuard> focusGuard = createFocusGuard();
    QSettingsBackend settings;
    QtTrayIcon tray;
    QtFileDialogs fileDialogs;
    QtMessageBoxes messages;
    DesktopWebPages webPages;
    QtClipboard clipboard;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString wordsFile = QDir(programDir).filePath(QStringLiteral("words.mdb"));
    SqliteConnection words(wordsFile);

    QuenloProgram program({settings, tray, fileDialogs, messages, webPages, clipboard, *keyboard.hook,
                           *keyboard.injector, words, programDir, keyboard.problem, wordsFile},
                          focusGuard.get());
    program.load();
    program.mainWindow().show();
    return application.exec();
}
