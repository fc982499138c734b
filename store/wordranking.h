// The ranking data of a words database: how common each word is and how often it was
// completed, with the indexes that find the best words for a prefix without reading every match.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class DbConnection;

// Commonness classes of the default words, commonest first: the size of the smallest SCOWL word
// list that holds the word (10 the few thousand commonest, 35 small, 50 medium, 70 large, 80
// huge). NULL is unknown; a class between two of these ranks with the larger.
inline constexpr int commonnessClasses[] = {10, 20, 35, 40, 50, 55, 60, 70, 80};

// The rank tier of a row as SQL, smaller is better: a custom word comes before a default word
// of the same class, and one of unknown class (a word the user added) before every class.
// Its text must be the same in the index and in every query that means to use the index.
extern const char* const rankTierSql;
// Every tier rankTierSql yields, best first, with the kind of word it holds.
struct RankTier {
    int tier;
    enum Kind { Custom, EmptyKind, NullKind } kind;
};
const std::vector<RankTier>& rankTiers();

// Columns and indexes ranking adds to the table Words (Text1, Type1); both columns are
// nullable, so anything that writes only Text1 and Type1 keeps working.
extern const char* const rankingSchemaSql;

// Whether the database carries the ranking columns and their indexes.
bool hasWordRanking(DbConnection& words);
// Adds the ranking columns and indexes in one transaction when they are missing. False, and
// the database unchanged, when it cannot be written (read-only, locked) or is no words database.
bool addWordRanking(DbConnection& words);

// The bounds of the texts that begin with prefix, letter case ignored, for
// "Text1 collate nocase >= lower and Text1 collate nocase < upper".
QStringList prefixRange(const QString& prefix);
