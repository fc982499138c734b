// Options > Excluded Applications: the list of applications in which completion stays paused.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLineEdit;
class QListWidget;
class QPushButton;

class ExcludedApplicationsDialog : public QDialog {
    Q_OBJECT
public:
    struct Entry {
        QString id;   // stable, as the focus guard reports it
        QString name; // shown
        bool operator==(const Entry&) const = default;
    };

    // previous is the application that had the focus before this program's window; an empty id
    // when none is known, and then it cannot be added.
    ExcludedApplicationsDialog(const QList<Entry>& entries, const Entry& previous, QWidget* parent = nullptr);

    // The list as edited; the caller keeps it only when the dialog was accepted.
    QList<Entry> entries() const { return m_entries; }

    // Adds an entry unless one with the same id (letter case ignored) is there already.
    void addEntry(const Entry& entry);
    void addTypedName();
    void removeSelected();

private:
    void refill();

    QList<Entry> m_entries;
    Entry m_previous;
    QListWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_addPrevious = nullptr;
    QPushButton* m_addName = nullptr;
    QPushButton* m_remove = nullptr;
};
