// The ranking data of a words database and its folded key: how common each word is, how often it
// was completed, the word with its letter case folded, and the indexes that find the best words for
// a prefix without reading every match.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
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
// Every tier rankTierSql yields, best first, with the kind of word it holds and the commonness
// class of its words: 0 for unknown, one past the last class for anything rarer.
struct RankTier {
    int tier;
    enum Kind { Custom, EmptyKind, NullKind } kind;
    int commonness;
};
const std::vector<RankTier>& rankTiers();

// The word with its letter case folded in every script ("Über" and "ÜBER" give "über", final
// sigma and ẞ give σ and ß), letter for letter: the key is exactly as long as the word, so the
// first n characters of a word fold to the first n of its key. ß stays ß and never becomes "ss":
// "Maße" and "Masse" are different words.
QString foldedWord(const QString& word);

// What a words database offers the lookup, from the plainest.
enum class WordSchema {
    Plain,  // Text1 and Type1: the written statements
    Ranked, // the ranking columns, indexed over Text1 collate nocase, which folds A to Z only
    Folded, // the ranking columns and the folded key Folded, indexed over the key
};
// The schema the database's indexes tell; nothing when they cannot be read (closed, locked).
std::optional<WordSchema> wordSchema(DbConnection& words);
// Whether the database is readable and carries the ranking columns with their indexes.
bool hasWordRanking(DbConnection& words);

// The columns and indexes that make a new table Words (Text1, Type1) Folded, or Ranked as
// earlier versions made it. Their columns are nullable, so whatever writes only Text1 and Type1
// keeps working; a row written so has no key until upgradeWordSchema() runs.
extern const char* const foldedSchemaSql;
extern const char* const rankedSchemaSql;

// Makes the database Folded in one transaction: the ranking columns, the key and the Learned marker
// where missing, the key of every row, and the indexes. The indexes of a Ranked database stay, so that
// earlier versions still find theirs. A Folded database gets the key of the rows an earlier version has added
// since, and the marker, where it can be written. False, and the database unchanged, when it is not Folded
// afterwards: it cannot be written (read-only, locked) or is no words database.
bool upgradeWordSchema(DbConnection& words);

// The bounds of the texts that begin with prefix, letter case ignored, for
// "Text1 collate nocase >= lower and Text1 collate nocase < upper".
QStringList prefixRange(const QString& prefix);
// The same for the folded key: "Folded >= lower and Folded < upper".
QStringList foldedPrefixRange(const QString& prefix);
