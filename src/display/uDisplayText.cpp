#include "display/uDisplayText.h"

#include "model/uRSS.h"

#include <QByteArray>
#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <optional>

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

// Valid UTF-8 as UTF-8, every other byte as Windows-1252.
QString MixedToDisplay(std::string_view Bytes) {
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

// ---------------------------------------------------------------------------------------
// Encodings

std::string LowerTrimmed(std::string_view Name) {
  while (!Name.empty() && (Name.front() == ' ' || Name.front() == '\t')) Name.remove_prefix(1);
  while (!Name.empty() && (Name.back() == ' ' || Name.back() == '\t')) Name.remove_suffix(1);
  std::string lower(Name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return lower;
}

// Names whose bytes the mixed rule reads as well as their own decoder would, and better
// when the label is wrong: UTF-8 itself, and the Latin-1 family that Windows-1252 extends.
bool TakesMixedRule(const std::string& Name) {
  static constexpr std::array<std::string_view, 16> kNames = {
      "",         "utf-8",         "utf8", "unicode-1-1-utf-8", "iso-8859-1", "iso8859-1",    "iso_8859-1",
      "latin1",   "latin-1",       "l1",   "us-ascii",          "ascii",      "windows-1252", "cp1252",
      "x-cp1252", "ansi_x3.4-1968"};
  return std::find(kNames.begin(), kNames.end(), Name) != kNames.end();
}

// Labels that real feeds use for a narrower set than they write: browsers read them as the
// superset, and so does this.
std::string SupersetOf(const std::string& Name) {
  if (Name == "gb2312" || Name == "gbk" || Name == "x-gbk" || Name == "cp936" || Name == "euc-cn")
    return "gb18030";
  if (Name == "ks_c_5601-1987" || Name == "ks_c_5601-1989" || Name == "ksc5601") return "euc-kr";
  if (Name == "x-sjis" || Name == "sjis" || Name == "ms_kanji") return "shift_jis";
  return Name;
}

std::optional<QString> DecodeWith(const std::string& Name, std::string_view Bytes) {
  QStringDecoder decoder(Name.c_str(), QStringDecoder::Flag::Stateless);
  if (!decoder.isValid()) return std::nullopt;
  QString text = decoder.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
  return text;
}

// ---------------------------------------------------------------------------------------
// Character references

struct TNamedReference {
  std::string_view Name;
  std::u16string_view Text;
};

constexpr TNamedReference kNamedReferences[] = {
#include "display/uHtmlEntities.inc"
};

std::optional<std::u16string_view> NamedReference(const QString& Name) {
  if (Name.size() > 32) return std::nullopt;
  const std::string name = Name.toStdString();
  const auto* end = std::end(kNamedReferences);
  const auto* found =
      std::lower_bound(std::begin(kNamedReferences), end, name,
                       [](const TNamedReference& r, const std::string& n) { return r.Name < n; });
  if (found == end || found->Name != name) return std::nullopt;
  return found->Text;
}

bool IsNameChar(QChar c, bool First) {
  const char16_t u = c.unicode();
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (!First && u >= '0' && u <= '9');
}

int DigitValue(QChar c, int Base) {
  const char16_t u = c.unicode();
  int value = -1;
  if (u >= '0' && u <= '9')
    value = u - '0';
  else if (u >= 'a' && u <= 'f')
    value = u - 'a' + 10;
  else if (u >= 'A' && u <= 'F')
    value = u - 'A' + 10;
  return value < Base ? value : -1;
}

// The character a numeric reference names, or nothing for none (0, surrogates, past U+10FFFF).
std::optional<char32_t> NumericCharacter(char32_t Value) {
  if (Value == 0 || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF)) return std::nullopt;
  if (Value >= 0x80 && Value <= 0x9F) return kCp1252High[Value - 0x80];
  return Value;
}

// Reads the reference at Text[Pos] ('&'); on success appends its characters to Out and
// returns the length written in Text, else 0.
qsizetype ReadReference(const QString& Text, qsizetype Pos, QString& Out) {
  qsizetype i = Pos + 1;
  if (i < Text.size() && Text[i] == u'#') {
    ++i;
    int base = 10;
    if (i < Text.size() && (Text[i] == u'x' || Text[i] == u'X')) base = 16, ++i;
    const qsizetype digitsStart = i;
    char32_t value = 0;
    for (int digit; i < Text.size() && (digit = DigitValue(Text[i], base)) >= 0; ++i)
      value = value > 0x10FFFF ? value : value * base + static_cast<char32_t>(digit);
    if (i == digitsStart || i >= Text.size() || Text[i] != u';') return 0;
    const auto character = NumericCharacter(value);
    if (!character) return 0;
    Out.append(QString::fromUcs4(&*character, 1));
    return i + 1 - Pos;
  }
  const qsizetype nameStart = i;
  while (i < Text.size() && i - nameStart <= 32 && IsNameChar(Text[i], i == nameStart)) ++i;
  if (i == nameStart || i >= Text.size() || Text[i] != u';') return 0;
  const auto text = NamedReference(Text.mid(nameStart, i - nameStart));
  if (!text) return 0;
  Out.append(QStringView(text->data(), static_cast<qsizetype>(text->size())));
  return i + 1 - Pos;
}

QString ShowReferences(const QString& Text) {
  if (!Text.contains(u'&')) return Text;
  QString out;
  out.reserve(Text.size());
  for (qsizetype pos = 0; pos < Text.size();) {
    if (Text[pos] == u'&') {
      if (const qsizetype length = ReadReference(Text, pos, out)) {
        pos += length;
        continue;
      }
    }
    out.append(Text[pos++]);
  }
  return out;
}

}  // namespace

QString ToDisplay(std::string_view Bytes, std::string_view Encoding) {
  const std::string name = LowerTrimmed(Encoding);
  if (TakesMixedRule(name)) return MixedToDisplay(Bytes);
  if (auto text = DecodeWith(SupersetOf(name), Bytes)) return *text;
  return MixedToDisplay(Bytes);
}

namespace {

bool IsDirectionalFormatting(QChar C) {
  const char16_t code = C.unicode();
  return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

QString ToDisplayTitle(std::string_view Bytes, std::string_view Encoding) {
  // A title that is (or holds) an address may carry a password: a new feed is named by
  // its address until its first download.
  const bool mayHoldAddress = Bytes.find("://") != std::string_view::npos;
  QString title = ShowReferences(mayHoldAddress ? ToDisplay(AddressWithoutPassword(Bytes), Encoding)
                                                : ToDisplay(Bytes, Encoding));
  // After the references: "&#x202E;" is one of them.
  title.removeIf(IsDirectionalFormatting);
  return title;
}

QString ToDisplayAddress(std::string_view Url, std::string_view Encoding) {
  return ToDisplay(AddressWithoutPassword(Url), Encoding);
}

QString PlainAsRichText(const QString& Text) {
  QString escaped = Text.toHtmlEscaped();
  escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  // "<qt>" makes Qt take the text as rich text whatever it holds, so the escapes show as
  // the characters they stand for.
  return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

std::string FromDisplay(const QString& Text) {
  const QByteArray bytes = Text.toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string FromDisplayTitle(const QString& Text, std::string_view Encoding) {
  std::string bytes = FromDisplay(Text);
  if (ToDisplayTitle(bytes, Encoding) == Text) return bytes;
  std::string referenced;
  const QList<uint> codes = Text.toUcs4();
  for (const char32_t code : codes) {
    if (code < 0x80)
      referenced += static_cast<char>(code);
    else
      referenced += "&#" + std::to_string(static_cast<unsigned long>(code)) + ';';
  }
  return referenced;
}

}  // namespace skimbrook
