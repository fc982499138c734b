// Creating a words database file: for the build-time generator, tests and benchmarks only;
// the program itself never creates the file.
#pragma once

#include <QString>
#include <optional>
#include <vector>

struct WordRow {
    QString text;
    std::optional<QString> type; // '1' for a custom word; nothing (NULL) or empty for a default word
    std::optional<int> commonness = std::nullopt; // only kept in a database made with ranking
};

// With: the ranking columns and the folded key, as the program makes every database it can write.
// Unfolded: the ranking of earlier versions, without the key, as such a version left the file.
enum class WordsRanking { Without, With, Unfolded };

// The schema the program expects. Text1 compares and sorts ignoring letter case and is
// indexed, so that a prefix lookup is an index range scan.
extern const char* const wordsSchemaSql;

// Creates a new database at path holding the rows, in one transaction; with ranking, it also
// has the ranking columns and indexes (With: each row with its folded key). Fails, with a
// reason in error, when the file exists already or cannot be written.
bool createWordsDatabase(const QString& path, const std::vector<WordRow>& rows, QString* error = nullptr,
                         WordsRanking ranking = WordsRanking::Without);
