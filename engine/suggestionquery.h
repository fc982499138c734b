// The text of the suggestion query for the word being typed.
#pragma once

#include "store/wordranking.h"

#include <QString>
#include <optional>

// The most words to offer as it goes into the query: the text trimmed, when it is a whole
// number of zero or more written in ASCII digits; nothing otherwise.
std::optional<QString> suggestionCount(const QString& maxCountText);

// The LIKE pattern matching every text that begins with prefix, as an SQL literal, with the
// clause that declares its escape character when the prefix needed one.
QString prefixPattern(const QString& prefix);

// The select of at most maxCountText words beginning with prefix, letter case ignored, of the
// kinds asked for; nothing when maxCountText is no whole number.
std::optional<QString> suggestionQuery(const QString& maxCountText, const QString& prefix,
                                       bool useDefaultWords, bool useCustomWords);

// The select of the best maxCountText words of the kinds asked for, in a database with ranking
// data (schema Ranked or Folded), best first: words used most, then by rank tier, each tier in
// word order; within the words used and within each tier, a word that saves no key (at most one
// letter longer than the prefix) comes last. Its parameters ?1 and ?2 are the bounds of
// prefixRange(), or foldedPrefixRange() in a Folded database; the text depends on nothing else, so
// it is prepared once. With shorterFirst, the tiers of the commonest classes list their shorter words
// first (see shorterFirstUpToClass). Nothing when maxCountText is no whole number.
std::optional<QString> rankedSuggestionQuery(const QString& maxCountText, bool useDefaultWords,
                                             bool useCustomWords, WordSchema schema, bool shorterFirst);

// Picked with number keys, each of the first nine rows costs one key, so what counts is that the word
// meant is among them: within a commonness class a shorter word is the likelier. Up to this class a
// tier holds a few thousand words, so sorting all of a prefix's matches there costs little; the larger
// classes stay in word order, which their index serves without reading every match.
inline constexpr int shorterFirstUpToClass = 35;
