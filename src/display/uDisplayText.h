// The one place where the program's 8-bit text meets the screen. Stored text is bytes, byte
// for byte as the feed sent them; a feed's encoding (from its XML declaration or the HTTP
// header) decides how they are read. Feeds in the wild mix UTF-8 with Windows-1252, so a feed
// without a known encoding shows every valid UTF-8 sequence as UTF-8 and every other byte as
// its Windows-1252 character. What the user types goes back as UTF-8.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace skimbrook {

// Bytes to display text, decoded with the encoding named Encoding (any letter case; the
// decoders Qt has, backed by ICU: windows-1251, KOI8-R, the ISO-8859 family, Shift_JIS,
// EUC-JP, GB18030, Big5, EUC-KR and more). An empty or unknown name, UTF-8 and the Latin-1
// family (ISO-8859-1, US-ASCII, Windows-1252, which mislabelled UTF-8 feeds often claim)
// give the mixed rule: valid UTF-8 sequences decoded, every other byte read as Windows-1252
// (the five codes that page leaves undefined map to U+0081 and so on).
QString ToDisplay(std::string_view Bytes, std::string_view Encoding = {});
// ToDisplay, then the character references still written in a title are shown as their
// characters: decimal and hexadecimal references of any valid code point (128 to 159 read
// as Windows-1252, as browsers do) and HTML's named references. A reference that names no
// character (&#0;, &#99999999;, &bogus;) stays as written. Directional formatting
// characters (U+202A to U+202E, U+2066 to U+2069) are left out, so that no title can show
// its letters in another order than they are stored ("Safe exe.jpg" for "Safe gpj.exe"
// reversed), and a password in an address written as the title is shown as "***".
QString ToDisplayTitle(std::string_view Bytes, std::string_view Encoding = {});
// Display text to bytes, as UTF-8.
std::string FromDisplay(const QString& Text);
// A title the user typed, as bytes that ToDisplayTitle(..., Encoding) shows as Text: UTF-8
// where the feed's encoding shows UTF-8 as such, else every character beyond ASCII written
// as a decimal character reference, which a title shows as its character in any encoding.
std::string FromDisplayTitle(const QString& Text, std::string_view Encoding = {});

// An address as the screen shows it: decoded like ToDisplay, with "***" in place of a
// password written in it.
QString ToDisplayAddress(std::string_view Url, std::string_view Encoding = {});

// Text from outside (a server, a feed, a page, an OPML file) is never read as Qt's rich
// text: labels and message boxes that show it are set to Qt::PlainText, and a widget that
// takes rich text only (a tooltip) gets it through PlainAsRichText, which escapes every
// markup character and keeps the line breaks.
QString PlainAsRichText(const QString& Text);

}  // namespace skimbrook
