// The one place where the program's 8-bit text meets the screen. Stored text is bytes;
// feeds in the wild mix UTF-8 with Windows-1252, so every valid UTF-8 sequence is shown as
// UTF-8 and every other byte as its Windows-1252 character. What the user types goes back
// as UTF-8.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace skimbrook {

// Bytes to display text: valid UTF-8 sequences decoded, every other byte read as
// Windows-1252 (the five codes that page leaves undefined map to U+0081 and so on).
QString ToDisplay(std::string_view Bytes);
// Display text to bytes, as UTF-8.
std::string FromDisplay(const QString& Text);

}  // namespace skimbrook
