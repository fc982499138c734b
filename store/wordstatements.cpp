// The word database statements of the word list. The doubled blanks belong to the texts.
#include "wordstatements.h"

#include "store/dbconnection.h"

QString allWordsStatement() {
    return QStringLiteral("select Text1 from Words order by 1 ");
}

QString defaultWordsStatement() {
    return QStringLiteral("select Text1 from Words where Type1 is null or type1 = ''  order by 1 ");
}

QString customWordsStatement() {
    return QStringLiteral("select Text1 from Words where Type1  = '1'  order by 1 ");
}

QString insertWordStatement(const QString& word, WordSchema schema) {
    if (schema == WordSchema::Folded)
        return QStringLiteral("insert into words (Text1, Type1, Folded) values (") + sqlLiteral(word) +
               QStringLiteral(",'1',") + sqlLiteral(foldedWord(word)) + QLatin1Char(')');
    return QStringLiteral("insert into words (Text1, Type1) values (") + sqlLiteral(word) +
           QStringLiteral(",'1')");
}

// Text1 compares ignoring letter case: the first test finds the rows in the index, the second
// keeps those of exactly the word.
std::unique_ptr<DbResult> insertDefaultWord(DbConnection& words, const QString& word, WordSchema schema) {
    const QString exists = QStringLiteral(
        "where not exists (select 1 from Words where Text1 = ?1 and Text1 = ?1 collate binary)");
    if (schema == WordSchema::Folded)
        return words.executeBound(
            QStringLiteral("insert into Words (Text1, Type1, Folded) select ?1, null, ?2 ") + exists,
            {word, foldedWord(word)});
    return words.executeBound(QStringLiteral("insert into Words (Text1, Type1) select ?1, null ") + exists,
                              {word});
}

std::unique_ptr<DbResult> removeListWord(DbConnection& words, const QString& word) {
    return words.executeBound(
        QStringLiteral("delete from Words where Text1 = ?1 and Text1 = ?1 collate binary and "
                       "(Type1 is null or Type1 = '') and Commonness is null and Uses is null"),
        {word});
}

// Text1's own comparison folds A to Z only; the key folds every script.
QString removeWordStatement(const QString& word, WordSchema schema) {
    if (schema == WordSchema::Folded)
        return QStringLiteral("delete from words  where Folded  = ") + sqlLiteral(foldedWord(word));
    return QStringLiteral("delete from words  where text1  = ") + sqlLiteral(word);
}

QString deleteWordStatement(const QString& word, WordSchema schema) {
    if (schema == WordSchema::Folded)
        return QStringLiteral("Delete from Words where Folded = ") + sqlLiteral(foldedWord(word));
    return QStringLiteral("Delete from Words where Text1 = ") + sqlLiteral(word);
}

QString clearLearnedCountsStatement() {
    return QStringLiteral("update Words set Uses = null where Uses is not null");
}

QString learnedWordsStatement() {
    return QStringLiteral("select Text1 from Words where Learned is not null order by 1");
}

QString forgetLearnedWordsStatement() {
    return QStringLiteral("delete from Words where Learned is not null");
}

std::optional<QString> fillStatement(bool showDefaultWords, bool showCustomWords) {
    if (showDefaultWords && showCustomWords)
        return allWordsStatement();
    if (showDefaultWords)
        return defaultWordsStatement();
    if (showCustomWords)
        return customWordsStatement();
    return std::nullopt;
}
