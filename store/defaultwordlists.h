// Word lists whose words join the database as default words, and leave it again.
#pragma once

#include "store/codepage.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class DbConnection;

// A word-list file: one word per line, its spaces at both ends no part of the word.
struct WordListSource {
    QString path;
    // The page of a file that is neither UTF-8 nor UTF-16 with a byte-order mark; nothing: the
    // word-list code page, as File Import reads such a file.
    std::optional<CodePage> olderCodePage;
};

struct WordListChange {
    bool done = false;
    QString problem; // for the user; empty when there is nothing to tell
};

// How far the list being read is, 0 to 100; heard while pending events are let run.
using WordListProgress = std::function<void(int percent)>;

// Adds every word of the list that no row holds exactly already, as a default word, in one
// transaction. A list that cannot be read, is in an encoding other than its own, or holds control
// characters adds nothing; lines too long to be words are left out and told. The list is read
// whole before the database is touched. Pending events run every few milliseconds; when the
// connection is closed meanwhile (the program ends) nothing is added and nothing is told.
WordListChange addWordList(DbConnection& words, const WordListSource& list,
                           const WordListProgress& progress = {});
// Removes, in one transaction, the list's words that a word list brought (default words without
// commonness), that were never completed and that none of the kept lists holds. Custom words, the
// words the program comes with and counts are never touched. Reads and yields as addWordList().
WordListChange removeWordList(DbConnection& words, const WordListSource& list,
                              const QList<WordListSource>& kept, const WordListProgress& progress = {});
