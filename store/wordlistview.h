// The word list's filling from the database and its edits: Add Word, Remove Word, Clear List, Delete.
#pragma once

#include <QString>

class DbConnection;
class MessageBoxes;
class QCheckBox;
class QLineEdit;
class QListView;
class WordListModel;
enum class WordSchema;

// Works on List1 and the word database together. Every command may let pending events run
// (a fill and Remove Word once per row, the message boxes while they are open), so other
// commands can run nested inside it; each looks at the list afresh after such a yield.
// The widgets, the model, the connection and the message boxes must outlive this object.
class WordListView {
public:
    // Shows model in List1 (setting it when List1 shows another), rows all of one height.
    // siteName is the maker's web-site name, part of two question titles; databaseFile is the
    // word database's file, named in the messages about it.
    WordListView(QListView* List1, WordListModel& model, QCheckBox* Check2, QCheckBox* Check3,
                 QLineEdit* Text7, DbConnection& words, MessageBoxes& messages, QString siteName,
                 QString databaseFile);
    WordListView(const WordListView&) = delete;
    WordListView& operator=(const WordListView&) = delete;

    // Empties the list and fills it with the words Check2 and Check3 ask for; both boxes are
    // disabled meanwhile and enabled again however it ends, and the keyboard focus ends where
    // it was. Failures are told as databaseFailure() says.
    void FillData();
    // Command8: lists the text of Text7 and stores it as a custom word, then empties Text7.
    void addWord();
    // Command5: after asking, removes the selected entries from the list and their rows.
    void removeWord();
    // Command2: after asking, empties the list; the database keeps its words.
    void clearList();
    // DeleteMMMM: after asking, removes the selected word's rows, then its entry.
    void deleteWord();

    // The row of the selected entry, -1 when none is selected.
    int selectedRow() const;

private:
    // Tells the user that the database could not be read or changed, why as far as the file
    // shows it, and what to do, with the engine's text as a detail.
    void tellFailure(bool change, const QString& engineText);
    // How the table identifies a word, asked afresh for each edit.
    WordSchema tableSchema();

    QListView* m_list;
    WordListModel& m_model;
    QCheckBox* m_check2;
    QCheckBox* m_check3;
    QLineEdit* m_text7;
    DbConnection& m_words;
    MessageBoxes& m_messages;
    QString m_siteName;
    QString m_databaseFile;
    // Counts fills, so that a fill started inside another one's yield leaves it nothing to append.
    int m_fills = 0;
};
