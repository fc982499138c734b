// The word list of the main window: entries kept in alphabetical order, letter case ignored.
#pragma once

#include <QAbstractListModel>
#include <QCollator>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <cstddef>
#include <vector>

// One entry of the word list, and whether views have heard of it.
struct WordListEntry {
    QString text;
    bool published;
};
// Entries move by copying their bytes, which keeps an insertion into a chunk cheap.
Q_DECLARE_TYPEINFO(WordListEntry, Q_RELOCATABLE_TYPE);

// The entries of List1, sorted by the default locale's collation (as the pop-up sorts), letter
// case ignored, accents in their place; entries equal in that order keep the order they were
// added in. The locale is the one set when the model is made.
//
// Views hear of additions in batches: an addition made soon after the last report waits, at most
// publishInterval(), to be reported together with the others made meanwhile. Loops that add one
// entry per event-loop yield would otherwise make the view lay itself out and repaint on every
// yield. rowCount() and data() describe what views have been told; count(), word() and words()
// describe every entry. After publish() the two agree and a view's row is the entry's row.
// Additions scattered between existing entries are reported as one insertion at the end followed
// by one layout change that moves them into place: reporting each as an insertion of its own
// costs the accessibility layer time for every one of them.
//
// Additions in list order, as a fill from the database mostly brings them, cost one comparison
// each; others a binary search.
//
// Views are shown at most displayLength characters of an entry, so that a very long entry costs
// them no more than a short one.
class WordListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit WordListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Removes count entries from row on, rows as count() counts them; views first hear of
    // every pending addition.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // Adds text, unchanged, at its sorted place after the entries equal to it; returns its row.
    int addWord(const QString& text);
    // Removes every entry.
    void clear();
    // The number of entries, reported to views or not.
    int count() const { return m_count; }
    // The entry at row, 0 <= row < count(); empty text for any other row.
    QString word(int row) const;
    // Every entry, in list order.
    QStringList words() const;

    // Tells views now of every addition not reported yet.
    void publish();
    // True when views have heard of every entry.
    bool isPublished() const { return m_unpublished == 0; }

    // Longest time, in milliseconds, an addition waits to be reported to views (100 unless set),
    // unless reports take long: then ten times as long as the last report took, with the work
    // views did for it.
    int publishInterval() const { return m_publishInterval; }
    void setPublishInterval(int milliseconds);

    // The characters of an entry views are shown; a longer entry ends in an ellipsis.
    static constexpr qsizetype displayLength = 256;

private:
    using Entry = WordListEntry;
    // A sorted run of neighbouring entries, so that an insertion moves a few hundred, not all.
    struct Chunk {
        QList<Entry> entries;
        int published = 0;
    };
    struct Position {
        std::size_t chunk;
        std::size_t offset;
    };

    // The list's order: negative, zero or positive as entry sorts before, with or after text.
    int compare(const Entry& entry, const QString& text) const;
    void publishRuns();
    void publishByMove();
    Position locate(int row) const;
    Position locatePublished(int publishedRow) const;
    void splitIfFull(std::size_t chunk);
    // Counts an entry just put at row and lets views hear of it in time; returns row.
    int added(int row);
    void changed();
    void schedulePublish();

    QCollator m_collator;
    bool m_useCollator;
    std::vector<Chunk> m_chunks;
    // While views hear of scattered additions as appended rows: their texts, in list order.
    QStringList m_appended;
    int m_count = 0;
    int m_publishedCount = 0;
    int m_unpublished = 0;
    // Counts every change, so that a report interrupted by a change can start again.
    quint64 m_revision = 0;
    // The chunk of the last row looked up and its first row: sequential reads stay cheap.
    mutable std::size_t m_cachedChunk = 0;
    mutable int m_cachedChunkStart = 0;
    // The same for the rows views know, while some additions are not reported yet.
    struct PublishedPosition {
        std::size_t chunk = 0;
        std::size_t offset = 0;
        int row = 0;
        bool valid = false;
    };
    mutable PublishedPosition m_publishedCache;
    int m_publishInterval = 100;
    QTimer m_publishTimer;
    QElapsedTimer m_sinceLastPublish;
    qint64 m_lastPublishCost = 0; // milliseconds the last report took, views' work after it included
    QTimer m_viewsCaughtUp;
};
