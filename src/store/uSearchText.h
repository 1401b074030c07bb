// The text the item store's full-text index holds, and the index query for what a user
// types. Both are UTF-8. The index splits words at blanks and punctuation, folds letter
// case and drops the accents of Latin letters; Chinese and Japanese write no blanks
// between words, so each of their characters is made a word of its own here and a typed
// run of them is looked up as those characters in a row.
#pragma once

#include <string>
#include <string_view>

namespace skimbrook {

// Utf8 with every markup tag ("<p>", "</a>", "<img ...>") replaced by a blank and every
// Han, Hiragana and Katakana character set apart by blanks. A "<" that opens no tag
// ("a < b") or is never closed stays.
std::string IndexText(std::string_view Utf8);

// Utf8 with every Han, Hiragana and Katakana character set apart by blanks.
std::string SpaceIdeographs(std::string_view Utf8);

// The index query that finds items holding every typed word, in any order, each as the
// start of a word ("recip" finds "Recipes"); a run of ideographs is found anywhere in the
// text. Operators of the query language are taken as plain text. Empty when nothing
// searchable was typed.
std::string MatchExpression(std::string_view Typed);

}  // namespace skimbrook
