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

enum class WordsRanking { Without, With };

// The schema the program expects. Text1 compares and sorts ignoring letter case and is
// indexed, so that a prefix lookup is an index range scan.
extern const char* const wordsSchemaSql;

// Creates a new database at path holding the rows, in one transaction; with ranking, it also
// has the ranking columns and indexes. Fails, with a reason in error, when the file exists
// already or cannot be written.
bool createWordsDatabase(const QString& path, const std::vector<WordRow>& rows, QString* error = nullptr,
                         WordsRanking ranking = WordsRanking::Without);
