// Filling the word list from the database, and the four edits of the list and the table.
#include "wordlistview.h"

#include "platform/dbconnection.h"
#include "platform/messageboxes.h"
#include "store/wordlistmodel.h"
#include "store/wordstatements.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPersistentModelIndex>
#include <QScopeGuard>
#include <algorithm>

WordListView::WordListView(QListView* List1, WordListModel& model, QCheckBox* Check2, QCheckBox* Check3,
                           QLineEdit* Text7, DbConnection& words, MessageBoxes& messages, QString siteName)
    : m_list(List1)
    , m_model(model)
    , m_check2(Check2)
    , m_check3(Check3)
    , m_text7(Text7)
    , m_words(words)
    , m_messages(messages)
    , m_siteName(std::move(siteName)) {
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
    // The choice must not change while the list fills.
    m_check2->setEnabled(false);
    m_check3->setEnabled(false);
    const auto endFill = qScopeGuard([this] {
        m_model.publish();
        m_check2->setEnabled(true);
        m_check3->setEnabled(true);
    });
    const std::optional<QString> statement =
        fillStatement(m_check2->checkState() == Qt::Checked, m_check3->checkState() == Qt::Checked);
    if (!statement)
        return;
    const std::unique_ptr<DbResult> result = m_words.execute(*statement);
    if (!result) {
        m_messages.inform(applicationTitle, m_words.lastError());
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
            m_messages.inform(applicationTitle, error);
            return;
        }
    }
}

void WordListView::addWord() {
    const QString text = m_text7->text();
    m_model.addWord(text);
    if (!m_words.execute(insertWordStatement(text))) {
        m_messages.inform(applicationTitle, m_words.lastError());
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
        if (!m_words.execute(removeWordStatement(m_model.word(row)))) {
            m_messages.inform(applicationTitle, m_words.lastError());
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
    if (!m_words.execute(deleteWordStatement(text))) {
        m_messages.inform(applicationTitle, m_words.lastError());
        return;
    }
    m_model.publish();
    if (entry.isValid())
        m_model.removeRow(entry.row());
}
