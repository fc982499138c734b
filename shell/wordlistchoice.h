// Which word lists of the user's languages give default words: picked for the locale when the
// word database is made, changed with Options > Word Lists. The lists in use are kept under
// Options/WordLists, their file names parted by ";" (absent: none was ever chosen).
#pragma once

#include "ui/wordlistsdialog.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DbConnection;
class FileDialogs;
class Form1;
class MessageBoxes;
class SettingsStore;
struct WordListChange;
struct WordListSource;

class WordListChoice {
public:
    // folder holds the system's word lists; empty where there is none (Windows), and then the
    // lists are files the user picks. The window takes no commands while a list changes, and its
    // notice line says how far it is.
    WordListChoice(DbConnection& words, SettingsStore& settings, MessageBoxes& messages, FileDialogs& dialogs,
                   Form1& window, QString folder);

    bool hasFolder() const { return !m_folder.isEmpty(); }
    const QString& folder() const { return m_folder; }
    // A change is running; another one is refused meanwhile.
    bool busy() const { return m_busy; }

    // A word database made at this start gets the lists in use, or, when none was ever chosen, the
    // installed list of the locale's language, which is then in use. What could not be done is
    // returned, for the notice line.
    QString databaseMade(const QString& localeName);
    // The lists the dialog offers: the installed ones, and those in use no longer installed.
    QList<WordListsDialog::Entry> entries() const;
    // Makes the lists ticked the lists in use: each one unticked is removed, then each one ticked
    // added, in a transaction of its own; every list done is kept in the settings at once.
    // Failures are told in a message box.
    void choose(const QStringList& chosen);
    // Asks for a file and adds its words as default words.
    void importFile();

private:
    QStringList inUse() const;
    void setInUse(const QStringList& lists);
    WordListSource source(const QString& file) const;
    bool installed(const QString& file) const;
    // Runs a change with the window taking no commands, its progress in the notice line.
    WordListChange run(const QString& doing,
                       const std::function<WordListChange(const std::function<void(int)>&)>& change);

    DbConnection& m_words;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    FileDialogs& m_dialogs;
    Form1& m_window;
    QString m_folder;
    bool m_busy = false;
};
