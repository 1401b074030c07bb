#include "settings/uHive.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "base/uFiles.h"
#include "settings/uRegistry.h"

namespace skimbrook {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char FoldCase(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool EqualsNoCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) { return FoldCase(X) == FoldCase(Y); });
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  return Text.size() >= Prefix.size() && EqualsNoCase(Text.substr(0, Prefix.size()), Prefix);
}

bool IsBlank(char C) {
  return C == ' ' || C == '\t';
}

std::string_view TrimLeft(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  return Text;
}

std::string_view TrimRight(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

std::string_view Trim(std::string_view Text) {
  return TrimLeft(TrimRight(Text));
}

bool IsHexDigit(char C) {
  return (C >= '0' && C <= '9') || (FoldCase(C) >= 'a' && FoldCase(C) <= 'f');
}

bool HasLineBreakOrNul(std::string_view Text) {
  return Text.find_first_of(std::string_view("\r\n\0", 3)) != Text.npos;
}

// The physical lines of Text, each without its LF or CR LF.
std::vector<std::string> SplitLines(std::string_view Text) {
  std::vector<std::string> lines;
  while (!Text.empty()) {
    size_t end = Text.find('\n');
    std::string_view line = Text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == Text.npos) break;
    Text.remove_prefix(end + 1);
  }
  return lines;
}

// Reads the quoted text that starts at Pos (on its opening quote), undoing the escapes
// \\ and \"; Pos ends past the closing quote. std::nullopt when the quote is not closed.
std::optional<std::string> ReadQuoted(std::string_view Line, size_t& Pos) {
  std::string text;
  for (++Pos; Pos < Line.size(); ++Pos) {
    char c = Line[Pos];
    if (c == '"') {
      ++Pos;
      return text;
    }
    // Any other backslash stands for itself, as a careless hand edit would mean it.
    if (c == '\\' && Pos + 1 < Line.size() && (Line[Pos + 1] == '\\' || Line[Pos + 1] == '"'))
      c = Line[++Pos];
    text += c;
  }
  return std::nullopt;
}

std::string Quote(std::string_view Text) {
  std::string quoted = "\"";
  for (char c : Text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

// The bytes of "41,42,00"-style data, std::nullopt when it is not such a list.
std::optional<std::string> DecodeHexBytes(std::string_view Data) {
  std::string bytes;
  Data = Trim(Data);
  while (!Data.empty()) {
    size_t comma = Data.find(',');
    std::string_view item = Trim(Data.substr(0, comma));
    if (item.empty() || item.size() > 2 || !std::all_of(item.begin(), item.end(), IsHexDigit))
      return std::nullopt;
    bytes += static_cast<char>(std::stoi(std::string(item), nullptr, 16));
    if (comma == Data.npos) break;
    Data.remove_prefix(comma + 1);
  }
  return bytes;
}

// A string with line breaks or NUL cannot stand between quotes on one line; the export
// format holds it as the bytes of a string value, NUL-terminated.
std::string StringAsHex(std::string_view Text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex = "hex(1):";
  for (char c : Text) {
    auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
    hex += ',';
  }
  return hex + "00";
}

std::string FormatValue(const std::string& Name, const std::string& Value) {
  std::string line = Name.empty() ? "@" : Quote(Name);
  line += '=';
  line += HasLineBreakOrNul(Value) ? StringAsHex(Value) : Quote(Value);
  return line;
}

// The key between the brackets of a section line, std::nullopt for any other line. A
// "[-...]" line asks an import to delete a key; it is not a section of this hive.
std::optional<std::string> SectionKey(std::string_view Trimmed) {
  if (Trimmed.size() < 2 || Trimmed.front() != '[' || Trimmed.back() != ']' || Trimmed[1] == '-')
    return std::nullopt;
  return std::string(Trimmed.substr(1, Trimmed.size() - 2));
}

// The data of a typed value continues on the next line when it ends with '\'.
bool ContinuesOn(const std::string& Data, const std::vector<std::string>& Lines, size_t Next) {
  if (Data.empty() || Data.back() != '\\' || Next >= Lines.size()) return false;
  std::string_view next = TrimLeft(Lines[Next]);
  return !next.empty() && IsHexDigit(next.front());
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Reading and writing the text

namespace {

struct TParsedLine {
  bool IsValue = false;
  bool IsString = false;
  std::string Name;
  std::string Data;
  std::vector<std::string> Lines;
};

// Parses the value line at Lines[Index] and the lines that continue it; Index ends past
// them. A line that is not "Name"=data or @=data comes back as not a value.
TParsedLine ParseValue(const std::vector<std::string>& Lines, size_t& Index) {
  TParsedLine parsed;
  parsed.Lines.push_back(Lines[Index++]);
  std::string_view line = TrimLeft(parsed.Lines.front());
  size_t pos = 0;
  std::string name;
  if (line.starts_with('@')) {
    pos = 1;
  } else if (line.starts_with('"')) {
    auto quoted = ReadQuoted(line, pos);
    if (!quoted) return parsed;
    name = std::move(*quoted);
  } else {
    return parsed;
  }
  line = TrimLeft(line.substr(pos));
  if (!line.starts_with('=')) return parsed;
  std::string_view data = Trim(line.substr(1));
  if (data == "-") return parsed;  // asks an import to delete the value
  parsed.IsValue = true;
  parsed.Name = std::move(name);
  if (data.starts_with('"')) {
    size_t end = 0;
    auto text = ReadQuoted(data, end);
    parsed.IsString = text && end == data.size();
    if (parsed.IsString) parsed.Data = std::move(*text);
    return parsed;
  }
  std::string joined(data);
  while (ContinuesOn(joined, Lines, Index)) {
    joined.pop_back();
    parsed.Lines.push_back(Lines[Index]);
    joined += Trim(Lines[Index++]);
  }
  // hex(1) and hex(2) hold the bytes of a string and of an expandable string.
  if (StartsWithNoCase(joined, "hex(1):") || StartsWithNoCase(joined, "hex(2):")) {
    if (auto bytes = DecodeHexBytes(std::string_view(joined).substr(7))) {
      if (!bytes->empty() && bytes->back() == '\0') bytes->pop_back();
      parsed.IsString = true;
      parsed.Data = std::move(*bytes);
    }
  }
  return parsed;
}

}  // namespace

THive THive::Parse(std::string_view Text) {
  THive hive;
  if (Text.starts_with(kByteOrderMark)) Text.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> lines = SplitLines(Text);
  size_t index = !lines.empty() && TrimRight(lines.front()) == kHeader ? 1 : 0;
  TSection* section = nullptr;
  while (index < lines.size()) {
    std::string_view trimmed = Trim(lines[index]);
    if (trimmed.empty()) {
      ++index;
      continue;
    }
    if (auto key = SectionKey(trimmed)) {
      ++index;
      auto same = std::find_if(hive.sections_.begin(), hive.sections_.end(),
                               [&](const TSection& s) { return EqualsNoCase(s.Key, *key); });
      section = same != hive.sections_.end() ? &*same : &hive.sections_.emplace_back(TSection{*key, {}});
      continue;
    }
    TParsedLine parsed = ParseValue(lines, index);
    if (!section) {
      hive.preamble_.insert(hive.preamble_.end(), parsed.Lines.begin(), parsed.Lines.end());
      continue;
    }
    TEntry entry{TKind::NotUnderstood, std::move(parsed.Name), std::move(parsed.Data),
                 std::move(parsed.Lines)};
    if (parsed.IsValue) {
      entry.Kind = parsed.IsString ? TKind::String : TKind::OtherType;
      // A value given twice takes the later text, as an import of the file would.
      std::erase_if(section->Entries, [&](const TEntry& e) { return e.IsValueNamed(entry.Name); });
    }
    section->Entries.push_back(std::move(entry));
  }
  return hive;
}

std::string THive::Text() const {
  std::vector<std::string> lines{std::string(kHeader)};
  lines.insert(lines.end(), preamble_.begin(), preamble_.end());
  for (const TSection& section : sections_) {
    lines.emplace_back();
    lines.push_back("[" + section.Key + "]");
    for (const TEntry& entry : section.Entries)
      lines.insert(lines.end(), entry.Lines.begin(), entry.Lines.end());
  }
  lines.emplace_back();
  return JoinLinesCRLF(lines);
}

// ---------------------------------------------------------------------------------------
// Keys and values

bool THive::TEntry::IsValueNamed(std::string_view Wanted) const {
  return Kind != TKind::NotUnderstood && EqualsNoCase(Name, Wanted);
}

// The section's key for KeyPath: the root's name, a backslash and the path without
// outer backslashes; empty when the format cannot hold the path.
std::string THive::SectionName(const std::string& KeyPath) {
  std::string_view path = KeyPath;
  while (path.starts_with('\\')) path.remove_prefix(1);
  while (path.ends_with('\\')) path.remove_suffix(1);
  if (path.empty()) return std::string(kRoot);
  if (HasLineBreakOrNul(path) || path.find("\\\\") != path.npos) return {};
  return std::string(kRoot) + "\\" + std::string(path);
}

const THive::TSection* THive::FindSection(const std::string& KeyPath) const {
  std::string name = SectionName(KeyPath);
  if (name.empty()) return nullptr;
  auto found = std::find_if(sections_.begin(), sections_.end(),
                            [&](const TSection& s) { return EqualsNoCase(s.Key, name); });
  return found != sections_.end() ? &*found : nullptr;
}

THive::TSection* THive::FindSection(const std::string& KeyPath) {
  return const_cast<TSection*>(std::as_const(*this).FindSection(KeyPath));
}

const THive::TEntry* THive::FindEntry(const std::string& KeyPath, const std::string& Name) const {
  const TSection* section = FindSection(KeyPath);
  if (!section) return nullptr;
  for (const TEntry& entry : section->Entries)
    if (entry.IsValueNamed(Name)) return &entry;
  return nullptr;
}

THive::TSection& THive::SectionFor(const std::string& KeyPath) {
  if (TSection* section = FindSection(KeyPath)) return *section;
  std::string name = SectionName(KeyPath);
  if (name.empty()) throw std::runtime_error("Failed to create key " + KeyPath);
  return sections_.emplace_back(TSection{name, {}});
}

bool THive::SameKey(const std::string& A, const std::string& B) {
  std::string a = SectionName(A);
  return !a.empty() && EqualsNoCase(a, SectionName(B));
}

bool THive::KeyExists(const std::string& KeyPath) const {
  std::string name = SectionName(KeyPath);
  if (name.empty()) return false;
  if (name == kRoot) return true;
  return std::any_of(sections_.begin(), sections_.end(), [&](const TSection& s) {
    return EqualsNoCase(s.Key, name) || StartsWithNoCase(s.Key, name + "\\");
  });
}

bool THive::CreateKey(const std::string& KeyPath) {
  if (KeyExists(KeyPath)) return false;
  SectionFor(KeyPath);
  return true;
}

std::optional<std::string> THive::ReadString(const std::string& KeyPath, const std::string& Name) const {
  const TEntry* entry = FindEntry(KeyPath, Name);
  if (!entry) return std::nullopt;
  if (entry->Kind != TKind::String) throw TInvalidDataType(Name);
  return entry->Data;
}

bool THive::WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value) {
  if (HasLineBreakOrNul(Name)) throw std::runtime_error("Failed to set data for '" + Name + "'");
  TSection& section = SectionFor(KeyPath);
  for (TEntry& entry : section.Entries) {
    if (!entry.IsValueNamed(Name)) continue;
    if (entry.Kind == TKind::String && entry.Data == Value) return false;
    entry = TEntry{TKind::String, entry.Name, Value, {FormatValue(entry.Name, Value)}};
    return true;
  }
  section.Entries.push_back(TEntry{TKind::String, Name, Value, {FormatValue(Name, Value)}});
  return true;
}

bool THive::DeleteValue(const std::string& KeyPath, const std::string& Name) {
  TSection* section = FindSection(KeyPath);
  if (!section) return false;
  return std::erase_if(section->Entries, [&](const TEntry& e) { return e.IsValueNamed(Name); }) > 0;
}

}  // namespace skimbrook
