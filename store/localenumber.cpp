// Locale-aware number reading shared by every text box that must hold a number.
#include "localenumber.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {
bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

std::optional<double> parseLocaleNumber(QStringView text, const QLocale& locale) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    // The locale's separators are single characters in every locale Qt ships that uses
    // Latin digits; a multi-character one simply never matches.
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    const QChar decimalChar = decimal.size() == 1 ? decimal[0] : QChar();
    QChar groupChar = group.size() == 1 ? group[0] : QChar();
    // Locales that group with a no-break space are usually typed with a plain one.
    const bool groupIsSpace = groupChar == QChar(0x00A0) || groupChar == QChar(0x202F);

    std::string canonical;
    qsizetype i = begin;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        canonical += static_cast<char>(text[i++].unicode());

    int mantissaDigits = 0;
    bool previousWasDigit = false;
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (isAsciiDigit(c)) {
            canonical += static_cast<char>(c.unicode());
            ++mantissaDigits;
            previousWasDigit = true;
        } else if (previousWasDigit && !groupChar.isNull() &&
                   (c == groupChar || (groupIsSpace && c == QLatin1Char(' '))) && i + 1 < end &&
                   isAsciiDigit(text[i + 1])) {
            previousWasDigit = false;
        } else {
            break;
        }
    }
    if (i < end && !decimalChar.isNull() && text[i] == decimalChar) {
        canonical += '.';
        for (++i; i < end && isAsciiDigit(text[i]); ++i) {
            canonical += static_cast<char>(text[i].unicode());
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        canonical += 'e';
        ++i;
        if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            canonical += static_cast<char>(text[i++].unicode());
        int exponentDigits = 0;
        for (; i < end && isAsciiDigit(text[i]); ++i, ++exponentDigits)
            canonical += static_cast<char>(text[i].unicode());
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;

    // from_chars, unlike strtod, ignores the C library's locale.
    double value = 0;
    const char* first = canonical.data();
    if (*first == '+')
        ++first;
    const auto [last, error] = std::from_chars(first, canonical.data() + canonical.size(), value);
    if (error != std::errc() || last != canonical.data() + canonical.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value) {
    // nearbyint follows the current rounding mode; make sure it is to-nearest-even.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

std::optional<std::int16_t> toInt16(double value) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max()))
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}
