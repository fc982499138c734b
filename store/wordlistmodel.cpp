// The sorted word list of the main window, kept in chunks so that each insertion stays cheap.
#include "wordlistmodel.h"

#include <QScopeGuard>
#include <algorithm>

namespace {
// Chunks are split in two when they pass this size; removals merge nothing, empty chunks go.
constexpr qsizetype maxChunkSize = 1024;
// More separate runs of additions than this are reported as one appended block moved into place.
constexpr int maxSeparateInsertions = 8;

// The C locale's order: Qt's case-insensitive comparison, which the C collator also gives.
int compareTexts(QStringView a, QStringView b) {
    // Qt's case-insensitive comparison, with the common run of ASCII letters compared here first:
    // sorting a large list spends most of its time in this function.
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        if (x < 128 && y < 128) {
            x = (x >= u'A' && x <= u'Z') ? char16_t(x + 32) : x;
            y = (y >= u'A' && y <= u'Z') ? char16_t(y + 32) : y;
            if (x != y)
                return x < y ? -1 : 1;
            continue;
        }
        // Beyond ASCII Qt folds the case; a surrogate pair is handed over whole.
        if (i > 0 && a[i - 1].isHighSurrogate())
            --i;
        return a.sliced(i).compare(b.sliced(i), Qt::CaseInsensitive);
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
} // namespace

WordListModel::WordListModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_useCollator(m_collator.locale() != QLocale::c()) {
    // As the pop-up sorts its suggestions.
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_publishTimer.setSingleShot(true);
    connect(&m_publishTimer, &QTimer::timeout, this, &WordListModel::publish);
    // Views lay themselves out again at the first yield after a report, in proportion to the
    // list; a zero-time timer started after theirs fires once they have.
    m_viewsCaughtUp.setSingleShot(true);
    m_viewsCaughtUp.setInterval(0);
    connect(&m_viewsCaughtUp, &QTimer::timeout, this,
            [this] { m_lastPublishCost = m_sinceLastPublish.elapsed(); });
}

int WordListModel::compare(const Entry& entry, const QString& text) const {
    // No sort keys are kept: making one costs twenty comparisons, and keeping a million of them
    // about a hundred megabytes.
    return m_useCollator ? m_collator.compare(entry.text, text) : compareTexts(entry.text, text);
}

int WordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_publishedCount;
}

QVariant WordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid() || index.row() >= m_publishedCount)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    const int appendedFrom = m_publishedCount - int(m_appended.size());
    QString text;
    if (index.row() >= appendedFrom) {
        text = m_appended[index.row() - appendedFrom];
    } else {
        const Position position = locatePublished(index.row());
        text = m_chunks[position.chunk].entries[position.offset].text;
    }
    if (role == Qt::EditRole || text.size() <= displayLength)
        return text;
    // Laying out and painting a line costs in proportion to its length; no view shows this much.
    const qsizetype shown = text[displayLength - 1].isHighSurrogate() ? displayLength - 1 : displayLength;
    return QString(text.left(shown) + QChar(0x2026));
}

WordListModel::Position WordListModel::locate(int row) const {
    // Walk from the chunk of the last look-up: a view or a loop reads rows in order.
    std::size_t chunk = m_cachedChunk;
    int start = m_cachedChunkStart;
    if (chunk >= m_chunks.size() || row < start) {
        chunk = 0;
        start = 0;
    }
    while (row - start >= int(m_chunks[chunk].entries.size())) {
        start += int(m_chunks[chunk].entries.size());
        ++chunk;
    }
    m_cachedChunk = chunk;
    m_cachedChunkStart = start;
    return {chunk, std::size_t(row - start)};
}

WordListModel::Position WordListModel::locatePublished(int publishedRow) const {
    if (m_unpublished == 0)
        return locate(publishedRow);
    // As locate(), but counting only what views have heard of; a view reads rows in order.
    std::size_t chunk = 0;
    std::size_t offset = 0;
    int row = 0; // reported entries before (chunk, offset)
    if (m_publishedCache.valid && publishedRow >= m_publishedCache.row) {
        chunk = m_publishedCache.chunk;
        offset = m_publishedCache.offset;
        row = m_publishedCache.row;
    }
    for (;;) {
        const Chunk& current = m_chunks[chunk];
        if (offset == 0 && publishedRow - row >= current.published) {
            row += current.published;
            ++chunk;
            continue;
        }
        if (current.entries[offset].published) {
            if (row == publishedRow)
                break;
            ++row;
        }
        if (++offset == std::size_t(current.entries.size())) {
            ++chunk;
            offset = 0;
        }
    }
    m_publishedCache = {chunk, offset, row, true};
    return {chunk, offset};
}

int WordListModel::addWord(const QString& text) {
    const auto sortsAfter = [&](const Entry& entry) {
        return compare(entry, text) > 0;
    };
    if (!m_chunks.empty() && !sortsAfter(m_chunks.back().entries.back())) {
        // After every entry: full chunks are left full, so that a list filled in order takes no
        // room for insertions that may never come.
        if (m_chunks.back().entries.size() >= maxChunkSize) {
            m_chunks.emplace_back();
            m_chunks.back().entries.reserve(maxChunkSize);
        }
        m_chunks.back().entries.append(Entry{text, false});
        return added(m_count);
    }
    // The first chunk whose last entry sorts after text takes it; past all of them, the last one.
    auto chunk = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                      [&](const Chunk& c) { return !sortsAfter(c.entries.back()); });
    if (chunk == m_chunks.end()) {
        if (m_chunks.empty())
            m_chunks.emplace_back();
        chunk = m_chunks.end() - 1;
    }
    auto place = std::partition_point(chunk->entries.begin(), chunk->entries.end(),
                                      [&](const Entry& entry) { return !sortsAfter(entry); });
    int row = int(place - chunk->entries.begin());
    for (auto before = m_chunks.begin(); before != chunk; ++before)
        row += int(before->entries.size());
    chunk->entries.insert(place - chunk->entries.begin(), Entry{text, false});
    splitIfFull(std::size_t(chunk - m_chunks.begin()));
    return added(row);
}

int WordListModel::added(int row) {
    ++m_count;
    ++m_unpublished;
    changed();
    schedulePublish();
    return row;
}

void WordListModel::splitIfFull(std::size_t index) {
    if (m_chunks[index].entries.size() <= maxChunkSize)
        return;
    Chunk upper;
    QList<Entry>& entries = m_chunks[index].entries;
    const qsizetype middle = entries.size() / 2;
    upper.entries = entries.sliced(middle);
    entries.remove(middle, entries.size() - middle);
    for (const Entry& entry : upper.entries)
        upper.published += entry.published ? 1 : 0;
    m_chunks[index].published -= upper.published;
    m_chunks.insert(m_chunks.begin() + std::ptrdiff_t(index) + 1, std::move(upper));
}

void WordListModel::changed() {
    ++m_revision;
    m_cachedChunk = 0;
    m_cachedChunkStart = 0;
    m_publishedCache.valid = false;
}

void WordListModel::schedulePublish() {
    if (m_publishTimer.isActive())
        return;
    // A report costs in proportion to the list; on a long list or a busy machine the reports
    // space out so that they take no more than a tenth of the time.
    const qint64 interval = std::max<qint64>(m_publishInterval, 10 * m_lastPublishCost);
    const qint64 waited = m_sinceLastPublish.isValid() ? m_sinceLastPublish.elapsed() : interval;
    if (waited >= interval)
        publish();
    else
        m_publishTimer.start(int(interval - waited));
}

void WordListModel::setPublishInterval(int milliseconds) {
    m_publishInterval = std::max(0, milliseconds);
    if (m_publishTimer.isActive())
        m_publishTimer.start(m_publishInterval);
}

void WordListModel::publish() {
    m_publishTimer.stop();
    if (m_unpublished == 0 || !m_appended.isEmpty())
        return;
    m_sinceLastPublish.start();
    const auto measure = qScopeGuard([this] {
        m_lastPublishCost = m_sinceLastPublish.elapsed();
        m_viewsCaughtUp.start();
    });
    int runs = 0;
    bool inRun = false;
    for (const Chunk& chunk : m_chunks) {
        if (chunk.published == int(chunk.entries.size())) {
            inRun = false;
            continue;
        }
        for (const Entry& entry : chunk.entries) {
            runs += !entry.published && !inRun ? 1 : 0;
            inRun = !entry.published;
        }
    }
    if (runs > maxSeparateInsertions)
        publishByMove();
    else
        publishRuns();
}

void WordListModel::publishRuns() {
    // Each run of neighbouring unreported entries is reported as one insertion, front to back,
    // so that every run's rows are already right when it is reported.
    const auto next = [this](Position& position) {
        if (++position.offset == std::size_t(m_chunks[position.chunk].entries.size())) {
            ++position.chunk;
            position.offset = 0;
        }
    };
    Position position{0, 0};
    int row = 0;
    while (m_unpublished > 0 && position.chunk < m_chunks.size()) {
        Chunk& chunk = m_chunks[position.chunk];
        if (position.offset == 0 && chunk.published == int(chunk.entries.size())) {
            row += chunk.published;
            ++position.chunk;
            continue;
        }
        if (chunk.entries[position.offset].published) {
            ++row;
            next(position);
            continue;
        }
        int length = 0;
        for (Position end = position;
             end.chunk < m_chunks.size() && !m_chunks[end.chunk].entries[end.offset].published; next(end))
            ++length;
        beginInsertRows(QModelIndex(), row, row + length - 1);
        m_publishedCache.valid = false;
        for (int i = 0; i < length; ++i, next(position)) {
            m_chunks[position.chunk].entries[position.offset].published = true;
            ++m_chunks[position.chunk].published;
        }
        m_publishedCount += length;
        m_unpublished -= length;
        const quint64 revision = m_revision;
        endInsertRows();
        row += length;
        if (revision != m_revision) {
            // Someone changed the list while hearing of the insertion: start again from the top.
            position = {0, 0};
            row = 0;
        }
    }
}

void WordListModel::publishByMove() {
    // First the new entries as rows appended after the known ones, in list order...
    const int known = m_publishedCount;
    QStringList appended;
    appended.reserve(m_unpublished);
    for (const Chunk& chunk : m_chunks)
        if (chunk.published != int(chunk.entries.size()))
            for (const Entry& entry : chunk.entries)
                if (!entry.published)
                    appended.append(entry.text);
    beginInsertRows(QModelIndex(), known, known + int(appended.size()) - 1);
    m_appended = appended;
    m_publishedCount += int(appended.size());
    endInsertRows();

    // ...then one layout change that puts every row in its place, selections and other
    // persistent rows following their entries.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> placeOfKnown;
    placeOfKnown.reserve(std::size_t(known));
    std::vector<int> placeOfAppended;
    placeOfAppended.reserve(std::size_t(appended.size()));
    int row = 0;
    for (Chunk& chunk : m_chunks) {
        for (Entry& entry : chunk.entries) {
            (entry.published ? placeOfKnown : placeOfAppended).push_back(row++);
            entry.published = true;
        }
        chunk.published = int(chunk.entries.size());
    }
    m_unpublished = 0;
    m_appended.clear();
    m_publishedCache.valid = false;
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        const int old = index.row();
        to.append(this->index(old < known ? placeOfKnown[std::size_t(old)]
                                          : placeOfAppended[std::size_t(old - known)]));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool WordListModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count < 1 || count > m_count - row)
        return false;
    publish();
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int i = 0; i < count; ++i) {
        const Position position = locate(row);
        QList<Entry>& entries = m_chunks[position.chunk].entries;
        entries.remove(qsizetype(position.offset));
        --m_chunks[position.chunk].published;
        if (entries.empty())
            m_chunks.erase(m_chunks.begin() + std::ptrdiff_t(position.chunk));
        changed();
    }
    m_count -= count;
    m_publishedCount -= count;
    endRemoveRows();
    return true;
}

void WordListModel::clear() {
    beginResetModel();
    m_publishTimer.stop();
    m_chunks.clear();
    m_count = 0;
    m_publishedCount = 0;
    m_unpublished = 0;
    m_appended.clear();
    changed();
    endResetModel();
}

QString WordListModel::word(int row) const {
    if (row < 0 || row >= m_count)
        return QString();
    const Position position = locate(row);
    return m_chunks[position.chunk].entries[position.offset].text;
}

QStringList WordListModel::words() const {
    QStringList all;
    all.reserve(m_count);
    for (const Chunk& chunk : m_chunks)
        for (const Entry& entry : chunk.entries)
            all.append(entry.text);
    return all;
}
