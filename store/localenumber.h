// Reading numbers typed into text boxes the way the user's locale writes them.
#pragma once

#include <QLocale>
#include <QStringView>
#include <cstdint>
#include <optional>

// The value of text that reads as a number under the locale's conventions: surrounding
// blanks, an optional sign, digits with the locale's group separators between them, the
// locale's decimal separator, an optional exponent. Nothing when the text is no number.
std::optional<double> parseLocaleNumber(QStringView text, const QLocale& locale = QLocale());

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

// The number rounded half to even as a 16-bit whole number; nothing when it does not fit.
std::optional<std::int16_t> toInt16(double value);
