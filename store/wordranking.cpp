// The ranking data of a words database, its folded key and the indexes that serve the best words
// for a prefix.
#include "wordranking.h"

#include "store/dbconnection.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {
// Tier per commonness: unknown, each class in turn, then anything rarer than the last class.
QByteArray makeRankTierSql() {
    QByteArray sql = "(case when Commonness is null then 0";
    int tier = 0;
    for (const int commonness : commonnessClasses)
        sql +=
            " when Commonness <= " + QByteArray::number(commonness) + " then " + QByteArray::number(++tier);
    sql += " else " + QByteArray::number(++tier) +
           " end) * 3 + (case when Type1 is null then 2 when Type1 = '1' then 0 else 1 end)";
    return sql;
}
constexpr int commonnessTiers = int(std::size(commonnessClasses)) + 2;
const QByteArray rankTier = makeRankTierSql();
} // namespace

const char* const rankTierSql = rankTier.constData();

namespace {
// A tier, with the rows of one kind, sits in the index in word order: the best N words of a
// prefix are read tier by tier, each an index range, and reading stops after N. Words once
// completed leave the tiers for an index of their own, small, whose matches are sorted by use.
QString rankIndexSql(const char* name, const char* key) {
    return QStringLiteral("CREATE INDEX %1 ON Words (%2, %3) WHERE Uses IS NULL")
        .arg(QLatin1String(name), QLatin1String(rankTierSql), QLatin1String(key));
}
QString usedIndexSql(const char* name, const char* key) {
    return QStringLiteral("CREATE INDEX %1 ON Words (%2) WHERE Uses IS NOT NULL")
        .arg(QLatin1String(name), QLatin1String(key));
}

const QStringList rankingColumns{QStringLiteral("Commonness"), QStringLiteral("Uses")};
const QString foldedColumn = QStringLiteral("Folded");
// Marks the custom words learnt from the user's typing; NULL for every other row.
const QString learnedColumn = QStringLiteral("Learned");
QString addColumnSql(const QString& column) {
    return QStringLiteral("ALTER TABLE Words ADD COLUMN %1 %2")
        .arg(column, column == foldedColumn ? QStringLiteral("TEXT") : QStringLiteral("INTEGER"));
}

const QStringList rankedIndexNames{QStringLiteral("WordsByRank"), QStringLiteral("WordsUsed")};
const QStringList rankedIndexes{rankIndexSql("WordsByRank", "Text1 COLLATE NOCASE"),
                                usedIndexSql("WordsUsed", "Text1 COLLATE NOCASE")};
// The key alone serves the count of a completed word, the word list's edits and finding rows
// without a key.
const QStringList foldedIndexNames{QStringLiteral("WordsByFolded"), QStringLiteral("WordsByFoldedRank"),
                                   QStringLiteral("WordsUsedFolded")};
const QStringList foldedIndexes{QStringLiteral("CREATE INDEX WordsByFolded ON Words (Folded)"),
                                rankIndexSql("WordsByFoldedRank", "Folded"),
                                usedIndexSql("WordsUsedFolded", "Folded")};
// folded_word() is the connection's own (SqliteConnection): foldedWord() as SQL.
const QString fillKeysSql =
    QStringLiteral("UPDATE Words SET Folded = folded_word(Text1) WHERE Folded IS NULL AND Text1 IS NOT NULL");

QByteArray schemaSql(const QStringList& columns, const QStringList& indexes) {
    QStringList statements;
    for (const QString& column : columns)
        statements.append(addColumnSql(column));
    statements += indexes;
    return (statements.join(QStringLiteral(";\n")) + QLatin1Char(';')).toUtf8();
}
const QByteArray foldedSchema =
    schemaSql(rankingColumns + QStringList{foldedColumn, learnedColumn}, foldedIndexes);
const QByteArray rankedSchema = schemaSql(rankingColumns, rankedIndexes);

// The first column of every row; nothing when the select fails.
std::optional<QStringList> readTexts(DbConnection& words, const QString& select) {
    const std::unique_ptr<DbResult> rows = words.execute(select);
    if (!rows)
        return std::nullopt;
    QStringList texts;
    for (; !rows->eof(); rows->moveNext())
        texts.append(rows->text1().value_or(QString()));
    return texts;
}

bool runInTransaction(DbConnection& words, const QStringList& statements) {
    // Immediate: a database another program is writing fails here, before anything changed.
    if (!words.execute(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    for (const QString& statement : statements) {
        if (!words.execute(statement)) {
            words.execute(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    if (words.execute(QStringLiteral("COMMIT")))
        return true;
    words.execute(QStringLiteral("ROLLBACK"));
    return false;
}
} // namespace

const char* const foldedSchemaSql = foldedSchema.constData();
const char* const rankedSchemaSql = rankedSchema.constData();

const std::vector<RankTier>& rankTiers() {
    static const std::vector<RankTier> tiers = [] {
        std::vector<RankTier> all;
        for (int tier = 0; tier < commonnessTiers * 3; ++tier) {
            const int classIndex = tier / 3 - 1;
            const int commonness = classIndex < 0 ? 0
                                   : classIndex < int(std::size(commonnessClasses))
                                       ? commonnessClasses[classIndex]
                                       : commonnessClasses[std::size(commonnessClasses) - 1] + 1;
            all.push_back({tier, RankTier::Kind(tier % 3), commonness});
        }
        return all;
    }();
    return tiers;
}

QString foldedWord(const QString& word) {
    QString folded = word.toCaseFolded();
    if (folded.size() == word.size())
        return folded;
    // Unicode might one day fold a letter across the 16-bit boundary: such a letter stays as it
    // is, so that the key keeps the word's length.
    folded.clear();
    for (const char32_t c : word.toUcs4()) {
        const char32_t foldedLetter = QChar::toCaseFolded(c);
        const bool sameSize = QChar::requiresSurrogates(foldedLetter) == QChar::requiresSurrogates(c);
        folded += QString::fromUcs4(sameSize ? &foldedLetter : &c, 1);
    }
    return folded;
}

std::optional<WordSchema> wordSchema(DbConnection& words) {
    const std::optional<QStringList> indexes = readTexts(
        words, QStringLiteral("select name from sqlite_master where type = 'index' and name in ('%1')")
                   .arg((rankedIndexNames + foldedIndexNames).join(QStringLiteral("', '"))));
    if (!indexes)
        return std::nullopt;
    const auto hasAll = [&indexes](const QStringList& names) {
        return std::all_of(names.cbegin(), names.cend(),
                           [&indexes](const QString& name) { return indexes->contains(name); });
    };
    if (hasAll(foldedIndexNames))
        return WordSchema::Folded;
    return hasAll(rankedIndexNames) ? WordSchema::Ranked : WordSchema::Plain;
}

bool hasWordRanking(DbConnection& words) {
    return wordSchema(words).value_or(WordSchema::Plain) != WordSchema::Plain;
}

bool upgradeWordSchema(DbConnection& words) {
    const std::optional<WordSchema> schema = wordSchema(words);
    if (!schema)
        return false;
    const QStringList columns =
        readTexts(words, QStringLiteral("select name from pragma_table_info('Words')"))
            .value_or(QStringList());
    const auto hasColumn = [&columns](const QString& name) {
        return columns.contains(name, Qt::CaseInsensitive);
    };
    if (*schema == WordSchema::Folded) {
        // Asked first: the read costs nothing where no key is missing, a write would take the lock.
        const std::optional<QStringList> missing = readTexts(
            words,
            QStringLiteral("select Text1 from Words where Folded is null and Text1 is not null limit 1"));
        // Rows without a key are not offered until a start can write them.
        if (missing && !missing->isEmpty())
            words.execute(fillKeysSql);
        // Without the marker nothing is learnt: a database that cannot be written stays Folded.
        if (!columns.isEmpty() && !hasColumn(learnedColumn))
            runInTransaction(words, {addColumnSql(learnedColumn)});
        return true;
    }
    if (!hasColumn(QStringLiteral("Text1")))
        return false;
    QStringList statements;
    for (const QString& column : rankingColumns + QStringList{foldedColumn, learnedColumn}) {
        if (!hasColumn(column))
            statements.append(addColumnSql(column));
    }
    statements.append(fillKeysSql);
    statements += foldedIndexes;
    return runInTransaction(words, statements);
}

QStringList prefixRange(const QString& prefix) {
    // NOCASE folds only A to Z, so only those are lowered for the bounds.
    QString lower = prefix;
    for (QChar& c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    if (lower.isEmpty())
        return {lower, QString::fromUcs4(U"\U0010FFFF")};
    QString upper = lower;
    char16_t next = char16_t(upper.back().unicode() + 1);
    // A to Z fold onto a to z, so nothing sorts between '@' and '['.
    if (next >= u'A' && next <= u'Z')
        next = u'[';
    upper.back() = QChar(next);
    return {lower, upper};
}

QStringList foldedPrefixRange(const QString& prefix) {
    const QString lower = foldedWord(prefix);
    // Every key that begins with lower sorts below lower followed by the last code point, which
    // is no character.
    return {lower, lower + QString::fromUcs4(U"\U0010FFFF")};
}
