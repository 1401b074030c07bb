// The text functions of the stored formats: escaping for the files the program writes,
// three small filters, and the treatment of the fields read from documents. The decoding
// of entity references is in uRSS_unescape.cpp. Text is 8-bit and handled byte for byte; no function fails.
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxScan.h"
#include "xml/moxStrings.h"

namespace skimbrook {

// =======================================================================================
// Escaping

namespace {

// What XmlEscape writes for each byte; empty for the bytes written as they are.
struct TEscapes {
  std::array<std::array<char, 7>, 256> Text{};
  std::array<uint8_t, 256> Length{};
};

constexpr TEscapes kEscapes = [] {
  TEscapes escapes;
  auto set = [&escapes](unsigned char Code, std::string_view Replacement) {
    for (size_t i = 0; i < Replacement.size(); ++i) escapes.Text[Code][i] = Replacement[i];
    escapes.Length[Code] = static_cast<uint8_t>(Replacement.size());
  };
  set('<', "&lt;");
  set('>', "&gt;");
  set('"', "&quot;");
  set('\'', "&apos;");
  set('&', "&amp;");
  // 128 is written as itself: only 129 and above become references.
  for (int code = 129; code <= 255; ++code) {
    const char reference[] = {'&',
                              '#',
                              static_cast<char>('0' + code / 100),
                              static_cast<char>('0' + code / 10 % 10),
                              static_cast<char>('0' + code % 10),
                              ';'};
    set(static_cast<unsigned char>(code), std::string_view(reference, sizeof reference));
  }
  return escapes;
}();

}  // namespace

void AppendXmlEscaped(std::string& Out, std::string_view Text) {
  // Runs of bytes that stay as they are go in whole.
  const char* const begin = Text.data();
  const char* const end = begin + Text.size();
  const char* run = begin;
  for (const char* p = begin; p < end; ++p) {
    const auto code = static_cast<unsigned char>(*p);
    const size_t length = kEscapes.Length[code];
    if (length == 0) continue;
    Out.append(run, static_cast<size_t>(p - run));
    Out.append(kEscapes.Text[code].data(), length);
    run = p + 1;
  }
  Out.append(run, static_cast<size_t>(end - run));
}

std::string XmlEscape(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 8);
  AppendXmlEscaped(out, Text);
  return out;
}

// =======================================================================================
// Filters

std::string AlphaNumOnly(std::string_view Text) {
  std::string out;
  for (char c : Text)
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) out += c;
  return out;
}

size_t StripTagsInPlace(char* Text, size_t Size) {
  // Deleting "<...>" leaves no '<' or '>' before the point of deletion, so the next
  // first '<' and first '>' are searched only after it.
  size_t out = 0;
  size_t from = 0;
  while (from < Size) {
    const void* open = std::memchr(Text + from, '<', Size - from);
    const void* close = std::memchr(Text + from, '>', Size - from);
    if (open == nullptr || close == nullptr || close < open) break;
    const size_t at = static_cast<size_t>(static_cast<const char*>(open) - Text);
    std::memmove(Text + out, Text + from, at - from);
    out += at - from;
    from = static_cast<size_t>(static_cast<const char*>(close) - Text) + 1;
  }
  std::memmove(Text + out, Text + from, Size - from);
  return out + (Size - from);
}

std::string StripTags(std::string_view Text) {
  std::string out(Text);
  out.resize(StripTagsInPlace(out.data(), out.size()));
  return out;
}

std::string Trim(std::string_view Text) {
  return std::string(Trimmed(Text));
}

// =======================================================================================
// Decoding the fields of documents

namespace {

bool Contains(std::string_view Text, char C) {
  return std::memchr(Text.data(), C, Text.size()) != nullptr;
}

// Nothing for XmlUnescape to decode: every step of it starts at "&" or at a backslash.
bool HasNothingToDecode(std::string_view Text) {
  const char* const end = Text.data() + Text.size();
  return FindEither(Text.data(), end, '&', '\\') == end;
}

}  // namespace

char* TFieldDecoder::Room(size_t Size) {
  if (capacity_ < Size) {
    buffer_ = std::make_unique_for_overwrite<char[]>(Size);
    capacity_ = Size;
  }
  return buffer_.get();
}

void TFieldDecoder::Decode(std::string_view Raw, std::string& Out) {
  if (HasNothingToDecode(Raw)) {
    Out.assign(Trimmed(Raw));
    return;
  }
  char* text = Room(Raw.size());
  Out.assign(Trimmed(std::string_view(text, XmlUnescapeInto(Raw, text, marks_))));
}

void TFieldDecoder::DecodeTitle(std::string_view Raw, std::string& Out) {
  if (HasNothingToDecode(Raw) && !Contains(Raw, '<')) {
    Out.assign(Trimmed(Raw));
    return;
  }
  char* text = Room(Raw.size());
  const size_t length = StripTagsInPlace(text, XmlUnescapeInto(Raw, text, marks_));
  Out.assign(Trimmed(std::string_view(text, length)));
}

}  // namespace skimbrook
