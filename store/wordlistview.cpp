// Filling the word list from the database, and the four edits of the list and the table.
#include "wordlistview.h"

#include "platform/messageboxes.h"
#include "store/dbconnection.h"
#include "store/wordlistmodel.h"
#include "store/wordstatements.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QScopeGuard>
#include <algorithm>

WordListView::WordListView(QListView* List1, WordListModel& model, QCheckBox* Check2, QCheckBox* Check3,
                           QLineEdit* Text7, DbConnection& words, MessageBoxes& messages, QString siteName,
                           QString databaseFile)
    : m_list(List1)
    , m_model(model)
    , m_check2(Check2)
    , m_check3(Check3)
    , m_text7(Text7)
    , m_words(words)
    , m_messages(messages)
    , m_siteName(std::move(siteName))
    , m_databaseFile(std::move(databaseFile)) {
    if (m_list->model() != &m_model)
        m_list->setModel(&m_model);
    // Rows of one height spare the view measuring every entry each time the list grows.
    m_list->setUniformItemSizes(true);
}

int WordListView::selectedRow() const {
    // The view's rows are the entries' rows only once it has heard of every addition.
    m_model.publish();
    const QItemSelectionModel* selection = m_list->selectionModel();
    if (!selection)
        return -1;
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current))
        return current.row();
    const QModelIndexList selected = selection->selectedIndexes();
    int first = -1;
    for (const QModelIndex& index : selected)
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void WordListView::FillData() {
    const int fill = ++m_fills;
    m_model.clear();
    // The choice must not change while the list fills. A disabled box that has the focus hands it
    // on to the next control, where a Space meant for the box would tick another one: the focus
    // is put aside instead and given back afterwards, unless the user has put it elsewhere.
    QWidget* window = m_check2->window();
    QPointer<QWidget> focused = window->focusWidget();
    if (focused != m_check2 && focused != m_check3)
        focused = nullptr;
    if (focused)
        focused->clearFocus();
    m_check2->setEnabled(false);
    m_check3->setEnabled(false);
    const auto endFill = qScopeGuard([this, window, focused] {
        m_model.publish();
        m_check2->setEnabled(true);
        m_check3->setEnabled(true);
        if (focused && !window->focusWidget())
            focused->setFocus(Qt::OtherFocusReason);
    });
    const std::optional<QString> statement =
        fillStatement(m_check2->checkState() == Qt::Checked, m_check3->checkState() == Qt::Checked);
    if (!statement)
        return;
    const std::unique_ptr<DbResult> result = m_words.execute(*statement);
    if (!result) {
        tellFailure(false, m_words.lastError());
        return;
    }
    while (!result->eof()) {
        // Keeps the window alive during a long fill; any command but the disabled boxes may run here.
        QCoreApplication::processEvents();
        if (fill != m_fills)
            return;
        m_model.addWord(result->text1().value_or(QString()));
        QString error;
        if (!result->moveNext(&error)) {
            tellFailure(false, error);
            return;
        }
    }
}

void WordListView::addWord() {
    const QString text = m_text7->text();
    m_model.addWord(text);
    if (!m_words.execute(insertWordStatement(text, tableSchema()))) {
        tellFailure(true, m_words.lastError());
        return;
    }
    m_text7->clear();
}

void WordListView::removeWord() {
    if (selectedRow() < 0) {
        m_messages.inform(
            applicationTitle,
            QStringLiteral("Could you please highlight the items you would like to remove from the List"));
        return;
    }
    if (!m_messages.ask(m_siteName,
                        QStringLiteral("Are you sure that you would like to remove the selected word(s)?")))
        return;
    // The entries chosen when the user said Yes: removing one moves the view's selection on to
    // its neighbour, which the user did not choose.
    m_model.publish();
    QList<QPersistentModelIndex> chosen;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        chosen.append(index);
    const WordSchema schema = tableSchema();
    // A removed entry's place is taken by the next one, which is looked at next: the row stays.
    int row = 0;
    while (row < m_model.count()) {
        QCoreApplication::processEvents();
        if (row >= m_model.count())
            break;
        // Views must know every entry for a persistent row to be the entry's row.
        m_model.publish();
        if (std::none_of(chosen.cbegin(), chosen.cend(),
                         [row](const QPersistentModelIndex& entry) { return entry.row() == row; })) {
            ++row;
            continue;
        }
        if (!m_words.execute(removeWordStatement(m_model.word(row), schema))) {
            tellFailure(true, m_words.lastError());
            return;
        }
        m_model.removeRow(row);
    }
}

void WordListView::clearList() {
    if (m_messages.ask(applicationTitle, QStringLiteral("Are you sure you want to clear the list?")))
        m_model.clear();
}

void WordListView::deleteWord() {
    const int row = selectedRow();
    const QString text = row >= 0 ? m_model.word(row) : QString();
    // Follows the entry through whatever runs while the question is open.
    const QPersistentModelIndex entry =
        row >= 0 ? QPersistentModelIndex(m_model.index(row)) : QPersistentModelIndex();
    if (!m_messages.ask(applicationTitle + QStringLiteral(" - ") + m_siteName,
                        QStringLiteral("Are you sure you want to remove ") + text))
        return;
    if (text.isEmpty())
        return;
    // The rows go first: when they cannot, the entry stays, as the table still holds the word.
    if (!m_words.execute(deleteWordStatement(text, tableSchema()))) {
        tellFailure(true, m_words.lastError());
        return;
    }
    m_model.publish();
    if (entry.isValid())
        m_model.removeRow(entry.row());
}

WordSchema WordListView::tableSchema() {
    // A database that cannot tell fails the statement itself, with the engine's own words.
    return wordSchema(m_words).value_or(WordSchema::Plain);
}

void WordListView::tellFailure(bool change, const QString& engineText) {
    const QFileInfo file(m_databaseFile);
    const QString what = change ? QStringLiteral("changed") : QStringLiteral("read");
    QString why;
    if (!file.exists()) {
        why = QStringLiteral("the file is missing. Put words.mdb back in %1 and start Quenlo again.")
                  .arg(QDir::toNativeSeparators(file.absolutePath()));
    } else if (change &&
               !(file.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
        // The file's own read-only mark: write access as such would say yes to an administrator.
        why = QStringLiteral("the file is read-only. Allow changes to the file, then try again.");
    } else if (m_words.state() == 0) {
        why = QStringLiteral("it could not be opened when Quenlo started. Start Quenlo again.");
    } else {
        why = QStringLiteral("another program may be using it, or the disk may be full or failing. "
                             "Close other programs that use the file, then try again.");
    }
    m_messages.inform(applicationTitle,
                      QStringLiteral("The word database %1 could not be %2: %3\n\nDetails: %4")
                          .arg(QDir::toNativeSeparators(file.absoluteFilePath()), what, why, engineText));
}
