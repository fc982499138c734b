// The ranking data of a words database and the indexes that serve the best words for a prefix.
#include "wordranking.h"

#include "store/dbconnection.h"

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
const QString rankIndexSql = QStringLiteral("CREATE INDEX WordsByRank ON Words (%1, Text1 COLLATE NOCASE) "
                                            "WHERE Uses IS NULL")
                                 .arg(QLatin1String(rankTierSql));
const QString usedIndexSql =
    QStringLiteral("CREATE INDEX WordsUsed ON Words (Text1 COLLATE NOCASE) WHERE Uses IS NOT NULL");
const QStringList rankingStatements{QStringLiteral("ALTER TABLE Words ADD COLUMN Commonness INTEGER"),
                                    QStringLiteral("ALTER TABLE Words ADD COLUMN Uses INTEGER"), rankIndexSql,
                                    usedIndexSql};
const QByteArray rankingSchema = (rankingStatements.join(QStringLiteral(";\n")) + QLatin1Char(';')).toUtf8();
} // namespace

const char* const rankingSchemaSql = rankingSchema.constData();

const std::vector<RankTier>& rankTiers() {
    static const std::vector<RankTier> tiers = [] {
        std::vector<RankTier> all;
        for (int tier = 0; tier < commonnessTiers * 3; ++tier)
            all.push_back({tier, RankTier::Kind(tier % 3)});
        return all;
    }();
    return tiers;
}

bool hasWordRanking(DbConnection& words) {
    int found = 0;
    const std::unique_ptr<DbResult> indexes =
        words.execute(QStringLiteral("select name from sqlite_master where type = 'index' and name in "
                                     "('WordsByRank', 'WordsUsed')"));
    for (; indexes && !indexes->eof(); indexes->moveNext())
        ++found;
    return found == 2;
}

bool addWordRanking(DbConnection& words) {
    if (hasWordRanking(words))
        return true;
    // Immediate: a database another program is writing fails here, before anything changed.
    if (!words.execute(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    for (const QString& statement : rankingStatements) {
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
