// The dialog that ticks the word lists whose words are offered as default words.
#include "ui/wordlistsdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

WordListsDialog::WordListsDialog(const QList<Entry>& entries, const QString& folder, QWidget* parent)
    : QDialog(parent)
    , m_entries(entries) {
    setObjectName(QStringLiteral("WordListsDialog"));
    setWindowTitle(QStringLiteral("Word Lists"));
    auto* layout = new QVBoxLayout(this);
    auto* explanation = new QLabel(
        entries.isEmpty()
            ? QStringLiteral("No word list of a language is installed in %1. Packages such as wngerman, "
                             "wfrench or wspanish install them.")
                  .arg(QDir::toNativeSeparators(folder))
            : QStringLiteral("The words of the lists ticked are offered as default words. Unticking a list "
                             "removes those of its words that no ticked list holds and that you never "
                             "completed; your own words stay."),
        this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("wordLists"));
    m_list->setAccessibleName(QStringLiteral("Word lists"));
    for (const Entry& entry : entries) {
        auto* item = new QListWidgetItem(entry.caption, m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(entry.inUse ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QStringList WordListsDialog::chosen() const {
    QStringList ids;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->checkState() == Qt::Checked)
            ids.append(m_entries[row].id);
    }
    return ids;
}
