// The text of the suggestion query for the word being typed.
#include "suggestionquery.h"

#include "platform/dbconnection.h"

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
        query += QStringLiteral(" and Type1 is not null ");
    // Default words are stored with a NULL kind, which a plain <> '1' would drop as well.
    if (!useCustomWords)
        query += QStringLiteral(" and (Type1 is null or Type1 <> '1') ");
    return query;
}
