// The word database statements of the word list: their texts exactly as the database receives them.
#pragma once

#include "store/wordranking.h"

#include <QString>
#include <memory>
#include <optional>

class DbConnection;
class DbResult;

// Every word, for the list view.
QString allWordsStatement();
// Default words only: Type1 NULL or empty.
QString defaultWordsStatement();
// Custom words only: Type1 '1'.
QString customWordsStatement();
// Adds word as a custom word; in a Folded table with its key.
QString insertWordStatement(const QString& word, WordSchema schema);
// Adds word, exactly as written, as a default word unless a row holds exactly that text already:
// the one insert of a word list's words; in a Folded table with its key. Nothing on failure, as
// DbConnection::executeBound().
std::unique_ptr<DbResult> insertDefaultWord(DbConnection& words, const QString& word, WordSchema schema);
// Removes the default word of exactly that text when a word list brought it (it has no commonness)
// and it was never completed.
std::unique_ptr<DbResult> removeListWord(DbConnection& words, const QString& word);
// Removes every row holding word, ignoring letter case: in a Folded table in every script, else
// A to Z only (Remove Word).
QString removeWordStatement(const QString& word, WordSchema schema);
// The same for the list's Delete.
QString deleteWordStatement(const QString& word, WordSchema schema);
// Forgets every learned count (a database without ranking columns refuses it).
QString clearLearnedCountsStatement();
// The words learnt from the user's typing, and their removal (a database without the marker
// refuses both).
QString learnedWordsStatement();
QString forgetLearnedWordsStatement();

// The select that fills the list for the two Show boxes; nothing when both are unticked.
std::optional<QString> fillStatement(bool showDefaultWords, bool showCustomWords);
