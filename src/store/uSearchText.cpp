#include "store/uSearchText.h"

namespace skimbrook {
namespace {

// The length of the UTF-8 sequence that starts with Lead, or 1 for a byte that starts none.
size_t SequenceLength(unsigned char Lead) {
  if (Lead >= 0xF0 && Lead < 0xF8) return 4;
  if (Lead >= 0xE0) return Lead < 0xF0 ? 3 : 1;
  if (Lead >= 0xC0) return 2;
  return 1;
}

// The code point of the sequence of Length bytes at Text[At]; 0 when it is cut short.
char32_t CodePointAt(std::string_view Text, size_t At, size_t Length) {
  if (Length == 1 || At + Length > Text.size()) return 0;
  char32_t code = static_cast<unsigned char>(Text[At]) & (0x7F >> Length);
  for (size_t i = 1; i < Length; ++i) code = (code << 6) | (static_cast<unsigned char>(Text[At + i]) & 0x3F);
  return code;
}

// Scripts written without blanks between words whose characters are words enough to
// search by: Han (with its extensions and compatibility forms), Hiragana, Katakana.
bool IsIdeograph(char32_t Code) {
  return (Code >= 0x3040 && Code <= 0x30FF) || (Code >= 0x31F0 && Code <= 0x31FF) ||
         (Code >= 0x3400 && Code <= 0x4DBF) || (Code >= 0x4E00 && Code <= 0x9FFF) ||
         (Code >= 0xF900 && Code <= 0xFAFF) || (Code >= 0xFF66 && Code <= 0xFF9F) ||
         (Code >= 0x20000 && Code <= 0x3FFFF);
}

bool IsAsciiLetter(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
}

// True when a tag starts at Text[At] (which is '<'): a letter, '/', '!' or '?' follows.
bool OpensTag(std::string_view Text, size_t At) {
  if (At + 1 >= Text.size()) return false;
  const char next = Text[At + 1];
  return IsAsciiLetter(next) || next == '/' || next == '!' || next == '?';
}

// True when Word holds something the index keeps: a letter, a digit or any non-ASCII
// character (the index decides about those).
bool HasSearchableByte(std::string_view Word) {
  for (const char c : Word) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || IsAsciiLetter(c) || (c >= '0' && c <= '9')) return true;
  }
  return false;
}

bool IsBlank(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f' || C == '\v';
}

// One typed word as a quoted phrase of the query language, taken as the start of a word.
std::string PrefixPhrase(std::string_view Word) {
  std::string phrase = "\"";
  for (const char c : SpaceIdeographs(Word)) {
    if (c == '"') phrase += '"';  // a quote inside a phrase is written twice
    phrase += c;
  }
  return phrase + "\"*";
}

}  // namespace

std::string SpaceIdeographs(std::string_view Utf8) {
  std::string out;
  out.reserve(Utf8.size());
  for (size_t at = 0; at < Utf8.size();) {
    const size_t length = SequenceLength(static_cast<unsigned char>(Utf8[at]));
    const bool spaced = IsIdeograph(CodePointAt(Utf8, at, length));
    if (spaced) out += ' ';
    out.append(Utf8.substr(at, length));
    if (spaced) out += ' ';
    at += length;
  }
  return out;
}

std::string IndexText(std::string_view Utf8) {
  std::string text;
  text.reserve(Utf8.size());
  for (size_t at = 0; at < Utf8.size(); ++at) {
    const size_t end = Utf8[at] == '<' && OpensTag(Utf8, at) ? Utf8.find('>', at) : std::string_view::npos;
    if (end == std::string_view::npos) {
      text += Utf8[at];
      continue;
    }
    text += ' ';
    at = end;
  }
  return SpaceIdeographs(text);
}

std::string MatchExpression(std::string_view Typed) {
  std::string expression;
  for (size_t at = 0; at < Typed.size();) {
    while (at < Typed.size() && IsBlank(Typed[at])) ++at;
    size_t end = at;
    while (end < Typed.size() && !IsBlank(Typed[end])) ++end;
    const std::string_view word = Typed.substr(at, end - at);
    if (HasSearchableByte(word)) {
      if (!expression.empty()) expression += ' ';
      expression += PrefixPhrase(word);
    }
    at = end;
  }
  return expression;
}

}  // namespace skimbrook
