// The dialog that edits the list of applications in which completion stays paused.
#include "ui/excludedapplicationsdialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ExcludedApplicationsDialog::ExcludedApplicationsDialog(const QList<Entry>& entries, const Entry& previous,
                                                       QWidget* parent)
    : QDialog(parent)
    , m_previous(previous) {
    setObjectName(QStringLiteral("ExcludedApplicationsDialog"));
    setWindowTitle(QStringLiteral("Excluded Applications"));
    auto* layout = new QVBoxLayout(this);
    auto* explanation = new QLabel(
        QStringLiteral("Quenlo neither watches nor completes what you type in these applications."), this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("excludedList"));
    m_list->setAccessibleName(QStringLiteral("Excluded applications"));
    layout->addWidget(m_list);

    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    m_remove->setObjectName(QStringLiteral("removeExcluded"));
    layout->addWidget(m_remove, 0, Qt::AlignRight);

    const bool knowPrevious = !previous.id.isEmpty();
    m_addPrevious =
        new QPushButton(knowPrevious ? QStringLiteral("Add %1").arg(previous.name)
                                     : QStringLiteral("Add the application used last (none known)"),
                        this);
    m_addPrevious->setObjectName(QStringLiteral("addPreviousApplication"));
    m_addPrevious->setEnabled(knowPrevious);
    layout->addWidget(m_addPrevious);

    auto* byName = new QHBoxLayout;
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("applicationName"));
    m_name->setPlaceholderText(QStringLiteral("Application name (window class), e.g. KeePassXC"));
    m_name->setAccessibleName(QStringLiteral("Application name"));
    m_addName = new QPushButton(QStringLiteral("Add by Name"), this);
    m_addName->setObjectName(QStringLiteral("addByName"));
    byName->addWidget(m_name, 1);
    byName->addWidget(m_addName);
    layout->addLayout(byName);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_addPrevious, &QPushButton::clicked, this, [this] { addEntry(m_previous); });
    connect(m_addName, &QPushButton::clicked, this, &ExcludedApplicationsDialog::addTypedName);
    connect(m_name, &QLineEdit::returnPressed, this, &ExcludedApplicationsDialog::addTypedName);
    connect(m_remove, &QPushButton::clicked, this, &ExcludedApplicationsDialog::removeSelected);
    connect(m_list, &QListWidget::currentRowChanged, this,
            [this](int row) { m_remove->setEnabled(row >= 0); });

    for (const Entry& entry : entries)
        addEntry(entry);
    refill();
}

void ExcludedApplicationsDialog::addEntry(const Entry& entry) {
    const QString id = entry.id.trimmed();
    if (id.isEmpty())
        return;
    for (const Entry& present : std::as_const(m_entries)) {
        if (present.id.compare(id, Qt::CaseInsensitive) == 0)
            return;
    }
    const QString name = entry.name.trimmed();
    m_entries.append({id, name.isEmpty() ? id : name});
    refill();
    m_list->setCurrentRow(static_cast<int>(m_entries.size()) - 1);
}

void ExcludedApplicationsDialog::addTypedName() {
    const QString name = m_name->text().trimmed();
    if (name.isEmpty())
        return;
    addEntry({name, name});
    m_name->clear();
}

void ExcludedApplicationsDialog::removeSelected() {
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_entries.size())
        return;
    m_entries.removeAt(row);
    refill();
    m_list->setCurrentRow(std::min(row, static_cast<int>(m_entries.size()) - 1));
}

void ExcludedApplicationsDialog::refill() {
    m_list->clear();
    for (const Entry& entry : std::as_const(m_entries)) {
        auto* item = new QListWidgetItem(entry.name, m_list);
        if (entry.name.compare(entry.id, Qt::CaseInsensitive) != 0)
            item->setToolTip(entry.id);
    }
    m_remove->setEnabled(m_list->currentRow() >= 0);
}
