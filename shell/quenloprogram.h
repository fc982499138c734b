// The running program: the main window and every part behind it, wired together, with the
// load handling that brings them up and the exit that ends them.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class Clipboard;
class CompletionEngine;
class DbConnection;
class FocusGuard;
class FileDialogs;
class Form1;
class InformationCommands;
class InputRoute;
class KeyboardHook;
class KeyInjector;
class MessageBoxes;
class PersistedOptions;
class RankingChoices;
class PrivacyGuard;
class SessionAutostart;
class SettingsBackend;
class SettingsStore;
class StartupOptions;
class SuggestionPopup;
class TrayIcon;
class WebPages;
class WindowTray;
class WordListFiles;
class WordListModel;
class WordListView;
class WordListChoice;

// The outside world the program works with: real backends, or fakes in tests.
struct ProgramServices {
    SettingsBackend& settings;
    TrayIcon& tray;
    FileDialogs& fileDialogs;
    MessageBoxes& messages;
    WebPages& webPages;
    Clipboard& clipboard;
    KeyboardHook& hook;
    KeyInjector& injector;
    DbConnection& words;                   // not yet open: the load handling opens it
    QString programDir;                    // where the help page is looked for
    std::string keyboardProblem;           // why no real keyboard backend could be chosen; empty when one was
    QString databaseFile;                  // the word database's file, named in messages about it
    SessionAutostart* autostart = nullptr; // how the session starts the program; none hides the item
    bool inputRouteChoosable = false;      // the desktop can take the keys from the hook or from IBus
    QString wordListFolder; // the system's word lists of languages; empty where there are none (Windows)
    QString localeName;     // the user's locale, as LC_ALL, LC_MESSAGES or LANG name it
    bool wordDatabaseMade = false; // the word database was made at this start, from the default words
};

class QuenloProgram : public QObject {
    Q_OBJECT
public:
    // Without a focus guard completion never pauses by itself.
    explicit QuenloProgram(ProgramServices services, FocusGuard* focusGuard = nullptr);
    ~QuenloProgram() override;

    // The load handling, in its fixed order: tray icon, the current file name, the optional
    // import, the database (given the ranking columns when it lacks them and can be written),
    // the stored choices, OptionsCheck. Then the keyboard hook starts. A database made at this
    // start gets the word lists of the user's language once the event loop runs.
    // A step that fails is skipped; only what the import could not read is told, in the
    // window's notice line.
    void load();
    // Exit: removes the tray icon and closes the database, then ends the event loop at once.
    void exit();
    // Shows the main window at the end of start-up, or, with Run Minimized checked or minimized
    // asked for, leaves it hidden to the tray (minimized where there is no tray).
    void showMainWindow(bool minimized = false);
    // Another start of the program asked for the window: shown, restored and brought to the front.
    void bringToFront();
    // IBus started the program again for its engine: this run takes the role if it can, or says why not.
    void inputMethodRequested();

    Form1& mainWindow() const;
    CompletionEngine& engine() const;
    // Form2, or nullptr until the suggestions were first shown.
    SuggestionPopup* popup() const { return m_popup.get(); }
    WordListModel& wordList() const;
    WordListFiles& wordListFiles() const;
    PrivacyGuard& privacy() const;
    // Options > Excluded Applications: opens the dialog, window-modal, without waiting for it.
    void editExcludedApplications();
    // Options > Word Lists: opens the dialog of the system's word lists, window-modal, without
    // waiting for it; where there are none, asks for a word-list file to add.
    void editWordLists();
    // Adds text to the window's notice line, after any shown already; empty text adds nothing.
    void addNotice(const QString& text);
    // A lasting problem of the desktop: in the notice line and, beside any other, in the tray icon's tip.
    void showProblem(const QString& text);

private:
    void wire();
    void pushEngineSettings();
    void startKeyboardHook();
    bool inputMethodInUse() const;
    void showKeyboardProblem(const QString& problem);
    void clearLearnedCounts();
    void forgetLearnedWords();

    ProgramServices m_services;
    std::unique_ptr<Form1> m_window;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<CompletionEngine> m_engine;
    std::unique_ptr<SuggestionPopup> m_popup;
    std::unique_ptr<PersistedOptions> m_options;
    std::unique_ptr<StartupOptions> m_startupOptions;
    std::unique_ptr<InputRoute> m_inputRoute;
    std::unique_ptr<RankingChoices> m_rankingChoices;
    std::unique_ptr<WindowTray> m_tray;
    std::unique_ptr<WordListModel> m_wordList;
    std::unique_ptr<WordListView> m_wordListView;
    std::unique_ptr<WordListFiles> m_wordListFiles;
    std::unique_ptr<WordListChoice> m_wordListChoice;
    std::unique_ptr<InformationCommands> m_information;
    std::unique_ptr<FocusGuard> m_nullFocusGuard;
    std::unique_ptr<PrivacyGuard> m_privacy;
    QString m_tipProblems;
};
