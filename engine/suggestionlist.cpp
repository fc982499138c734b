// The words offered for the word being typed, the selected one and the current suggestion.
#include "suggestionlist.h"

#include <algorithm>

namespace {
constexpr int longestHideInterval = 65535;
} // namespace

SuggestionList::SuggestionList(QObject* parent)
    : QAbstractListModel(parent)
    , m_timer(new QTimer(this)) {
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(m_hideInterval);
    connect(m_timer, &QTimer::timeout, this, &SuggestionList::runHideRule);
}

int SuggestionList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_words.size());
}

QVariant SuggestionList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_words.size() || role != Qt::DisplayRole)
        return {};
    return m_words.at(index.row());
}

void SuggestionList::setKeepFoundOrder(bool on) {
    m_keepFoundOrder = on;
}

void SuggestionList::fill(QStringList found) {
    if (found.isEmpty()) {
        hide();
        return;
    }
    // Stable, as a sorted list box places an entry after those that compare equal to it.
    if (!m_keepFoundOrder)
        std::stable_sort(found.begin(), found.end(),
                         [this](const QString& a, const QString& b) { return m_collator.compare(a, b) < 0; });
    beginResetModel();
    m_words = std::move(found);
    m_selectedRow = 0;
    endResetModel();
    // Every lookup that finds words shows them, whatever the current suggestion held before.
    m_current = m_words.first();
    setShown(true);
    restartHideTimer();
    emit selectedRowChanged(0);
    emit suggestionsChanged();
}

void SuggestionList::selectRow(int row) {
    if (row < -1 || row >= m_words.size())
        return;
    if (row != m_selectedRow) {
        m_selectedRow = row;
        emit selectedRowChanged(row);
    }
    setCurrentSuggestion(row >= 0 ? m_words.at(row) : QString());
    emit suggestionsChanged();
}

void SuggestionList::setCurrentSuggestion(const QString& word) {
    // Writing the word it already holds must not start the rule again.
    if (word == m_current)
        return;
    m_current = word;
    if (word.isEmpty())
        return;
    setShown(true);
    restartHideTimer();
    setCurrentSuggestion(m_selectedRow >= 0 ? m_words.at(m_selectedRow) : QString());
}

void SuggestionList::hide() {
    setShown(false);
    clearWords();
}

void SuggestionList::setShown(bool shown) {
    if (shown == m_shown)
        return;
    m_shown = shown;
    emit shownChanged(shown);
}

void SuggestionList::clearWords() {
    if (m_words.isEmpty())
        return;
    beginResetModel();
    m_words.clear();
    m_selectedRow = -1;
    endResetModel();
    emit selectedRowChanged(-1);
}

void SuggestionList::restartHideTimer() {
    m_timerEnabled = true;
    // A Qt timer of 0 ms would fire at once; here 0 means the list never hides by itself.
    if (m_hideInterval > 0)
        m_timer->start(m_hideInterval);
    else
        m_timer->stop();
}

void SuggestionList::runHideRule() {
    setCurrentSuggestion(QString());
    hide();
    m_timerEnabled = false;
    m_timer->stop();
}

void SuggestionList::setHideInterval(int milliseconds) {
    if (milliseconds < 0 || milliseconds > longestHideInterval)
        return;
    m_hideInterval = milliseconds;
    m_timer->setInterval(milliseconds);
    if (m_timerEnabled && milliseconds > 0)
        m_timer->start(milliseconds);
    else
        m_timer->stop();
}
