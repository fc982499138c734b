// The text of the suggestion query for the word being typed.
#include "suggestionquery.h"

#include "store/dbconnection.h"
#include "store/wordranking.h"

namespace {
const QString defaultWordsLeftOut = QStringLiteral(" and Type1 is not null ");
// Default words are stored with a NULL kind, which a plain <> '1' would drop as well.
const QString customWordsLeftOut = QStringLiteral(" and (Type1 is null or Type1 <> '1') ");
} // namespace

std::optional<QString> suggestionCount(const QString& maxCountText) {
    const QString count = maxCountText.trimmed();
    if (count.isEmpty())
        return std::nullopt;
    for (const QChar c : count) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return count;
}

QString prefixPattern(const QString& prefix) {
    const QLatin1Char escape('\\');
    bool escaped = false;
    QString pattern;
    pattern.reserve(prefix.size() + 1);
    for (const QChar c : prefix) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == escape) {
            pattern += escape;
            escaped = true;
        }
        pattern += c;
    }
    pattern += QLatin1Char('%');
    // The blank after the literal is the one that always follows the pattern.
    return sqlLiteral(pattern) + (escaped ? QStringLiteral(" escape '\\' ") : QStringLiteral(" "));
}

std::optional<QString> suggestionQuery(const QString& maxCountText, const QString& prefix,
                                       bool useDefaultWords, bool useCustomWords) {
    const std::optional<QString> count = suggestionCount(maxCountText);
    if (!count)
        return std::nullopt;
    QString query = QStringLiteral("select  top ") + *count +
                    QStringLiteral(" Text1 from words where Text1  like ") + prefixPattern(prefix);
    if (!useDefaultWords)
        query += defaultWordsLeftOut;
    if (!useCustomWords)
        query += customWordsLeftOut;
    return query;
}

std::optional<QString> rankedSuggestionQuery(const QString& maxCountText, bool useDefaultWords,
                                             bool useCustomWords, WordSchema schema, bool shorterFirst) {
    const std::optional<QString> count = suggestionCount(maxCountText);
    if (!count)
        return std::nullopt;
    // The key as the indexes hold it.
    const QString key =
        schema == WordSchema::Folded ? QStringLiteral("Folded") : QStringLiteral("Text1 collate nocase");
    const QString filters = QStringLiteral(" %1 >= ?1 and %1 < ?2 ").arg(key) +
                            (useDefaultWords ? QString() : defaultWordsLeftOut) +
                            (useCustomWords ? QString() : customWordsLeftOut);
    // A word at most one letter longer than the prefix saves no key: taking it costs one key as
    // well. It comes after the words of its group that save some.
    const QString savesNothing = QStringLiteral("length(%1) <= length(?1) + 1").arg(key);
    // Each part is read in its index's order and the whole stops after the count: a prefix that
    // matches thousands of words reads only as many as are offered.
    QStringList parts{
        QStringLiteral("select Text1 from (select Text1 from Words where Uses is not null and") + filters +
        QStringLiteral("order by %1, Uses desc, %2, %3 limit %4)")
            .arg(savesNothing, QLatin1String(rankTierSql), key, *count)};
    for (const RankTier& tier : rankTiers()) {
        // A tier of a kind the filters leave out would be read to its end for nothing.
        if ((tier.kind == RankTier::NullKind && !useDefaultWords) ||
            (tier.kind == RankTier::Custom && !useCustomWords))
            continue;
        const QString order = shorterFirst && tier.commonness > 0 && tier.commonness <= shorterFirstUpToClass
                                  ? QStringLiteral("length(%1), %1").arg(key)
                                  : key;
        // The words that save nothing are few, all within a letter of the prefix's length: the
        // second read of a tier only runs when the first found fewer than the count, so it too
        // reads about that many.
        for (const QString& savesSome : {QStringLiteral("not "), QString()}) {
            parts.append(QStringLiteral(
                             "select Text1 from (select Text1 from Words where Uses is null and %1 = %2 and")
                             .arg(QLatin1String(rankTierSql))
                             .arg(tier.tier) +
                         filters +
                         QStringLiteral("and %1(%2) order by %3 limit %4)")
                             .arg(savesSome, savesNothing, order, *count));
        }
    }
    return parts.join(QStringLiteral(" union all ")) + QStringLiteral(" limit ") + *count;
}
