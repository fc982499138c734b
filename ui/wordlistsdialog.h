// Options > Word Lists: the word lists of the system's languages, those in use ticked.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QListWidget;

class WordListsDialog : public QDialog {
    Q_OBJECT
public:
    struct Entry {
        QString id;      // the list's file name
        QString caption; // shown
        bool inUse;
    };

    // folder is where the lists are looked for; it is named when none is there.
    WordListsDialog(const QList<Entry>& entries, const QString& folder, QWidget* parent = nullptr);

    // The ids of the lists ticked, in the order shown.
    QStringList chosen() const;

private:
    QList<Entry> m_entries;
    QListWidget* m_list = nullptr;
};
