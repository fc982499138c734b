// Word-list files: File Import, File Save and File Save As over the one current file name.
#pragma once

#include "store/textencoding.h"

#include <QHash>
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
// What the user is told when the word-list file name (as the system writes it) could not be read.
QString cannotReadMessage(const QString& shownName, const QString& reason);
// What the user is told of the lines of the file skipped for being longer than maxLineBytes.
QString tooLongLinesMessage(const QString& shownName, const QList<qint64>& lineNumbers,
                            qsizetype maxLineBytes);

// Imports word-list files into the list and saves the list to them. A file is read in the encoding
// it is found to be in (detectEncoding()), and written back in the encoding it was read in; a
// file read in no encoding yet is written in UTF-8.
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

    // Appends the lines of the file name that qualify. False when the file cannot be read, is no
    // regular file (a device or a pipe would block or never end) or Text8 holds no number; the
    // lines appended before stay. Lines too long to be words are skipped and reading goes on.
    // What went wrong or was skipped is kept in lastImportProblem() and, with reportFailure,
    // also shown in a message box.
    bool GetImportFile(const QString& name, bool reportFailure);
    // What the last GetImportFile() could not read or skipped, for the user; empty when nothing.
    QString lastImportProblem() const { return m_lastImportProblem; }
    // Writes the list to the current file, replacing it whole or not at all, in the encoding
    // that file was read in; when the 8-bit code page cannot hold every entry, in UTF-8 with a
    // byte-order mark, after saying so. False, after a message box that names the file and the
    // reason, when it could not be written.
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
    QString m_lastImportProblem;
    // The encoding each file was last read or written in, by its absolute path.
    QHash<QString, TextEncoding> m_encodings;
};
