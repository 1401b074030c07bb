#include "display/uDisplayText.h"

#include <QByteArray>

namespace skimbrook {

namespace {

// Windows-1252 for bytes 0x80..0x9F; the holes keep their C1 code.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252(unsigned char Byte) {
  if (Byte >= 0x80 && Byte <= 0x9F) return kCp1252High[Byte - 0x80];
  return Byte;
}

bool IsContinuation(unsigned char Byte) {
  return (Byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at Pos and its code point, or 0 when the
// bytes there are not one (overlong forms, surrogates and values past U+10FFFF included).
int Utf8SequenceAt(std::string_view Bytes, size_t Pos, char32_t& CodePoint) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(Bytes[Pos + i]); };
  const unsigned char lead = at(0);
  int length = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, CodePoint = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, CodePoint = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, CodePoint = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (Pos + length > Bytes.size()) return 0;
  for (int i = 1; i < length; ++i) {
    if (!IsContinuation(at(i))) return 0;
    CodePoint = (CodePoint << 6) | (at(i) & 0x3F);
  }
  if (CodePoint < min || CodePoint > 0x10FFFF) return 0;
  if (CodePoint >= 0xD800 && CodePoint <= 0xDFFF) return 0;
  return length;
}

}  // namespace

QString ToDisplay(std::string_view Bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(Bytes.size()));
  size_t pos = 0;
  while (pos < Bytes.size()) {
    const auto byte = static_cast<unsigned char>(Bytes[pos]);
    if (byte < 0x80) {
      text.append(QChar(byte));
      ++pos;
      continue;
    }
    char32_t codePoint = 0;
    if (const int length = Utf8SequenceAt(Bytes, pos, codePoint)) {
      if (QChar::requiresSurrogates(codePoint)) {
        text.append(QChar(QChar::highSurrogate(codePoint)));
        text.append(QChar(QChar::lowSurrogate(codePoint)));
      } else {
        text.append(QChar(static_cast<char16_t>(codePoint)));
      }
      pos += length;
    } else {
      text.append(QChar(Cp1252(byte)));
      ++pos;
    }
  }
  return text;
}

std::string FromDisplay(const QString& Text) {
  const QByteArray bytes = Text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace skimbrook
