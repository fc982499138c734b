// Word-list files: File Import, File Save and File Save As over the one current file name.
#pragma once

#include <QString>
#include <QStringView>
#include <functional>

class FileDialogs;
class MessageBoxes;
class QLineEdit;
class WordListModel;

// A dialog's answer is taken when, without its leading and trailing spaces, it is neither empty
// nor exactly "*.kw"; it is then used as it came.
bool isAcceptedFileName(const QString& name);
// A line of a file joins the list when, without its spaces, it is not empty and it is, spaces
// counted, at least minimumLength characters long. Only the space character is a space here.
bool isImportedLine(QStringView line, double minimumLength);
// Text without the space characters at its two ends.
QStringView trimSpaces(QStringView text);

// Imports word-list files into the list and saves the list to them, in the system's encoding.
// Importing and saving let pending events run once per line or entry; they work on what the
// list holds at each step. The model, Text8, the dialogs and the message boxes must outlive it.
class WordListFiles {
public:
    // Text8 holds the shortest line length that is imported; rememberImportFile stores the name
    // of a file chosen with File Import, before that file is read.
    WordListFiles(WordListModel& model, QLineEdit* Text8, FileDialogs& dialogs, MessageBoxes& messages,
                  std::function<void(const QString& name)> rememberImportFile);

    // FileImport: asks for a file, remembers its name, then appends its lines to the list.
    void fileImport();
    // FileSave: writes the list to the current file, asking for one when there is none.
    void fileSave();
    // FileSave2: asks for a file and writes the list to it.
    void fileSaveAs();

    // Appends the lines of the file name that qualify. False when the file cannot be read or
    // Text8 holds no number; the lines appended before stay. With reportFailure, a failure is
    // also shown in a message box.
    bool GetImportFile(const QString& name, bool reportFailure);
    // Writes the list to the current file, replacing it whole or not at all. False, after a
    // message box that names the file and the reason, when it could not be written.
    bool ExportFile();

    // The name File Save writes to; emptied by File Import and File Save As before they ask.
    QString currentFileName() const { return m_currentFileName; }
    void setCurrentFileName(const QString& name) { m_currentFileName = name; }

private:
    WordListModel& m_model;
    QLineEdit* m_text8;
    FileDialogs& m_dialogs;
    MessageBoxes& m_messages;
    std::function<void(const QString&)> m_rememberImportFile;
    QString m_currentFileName;
};
