// The registry of the current user held as the text of a registry export: the first line
// "REGEDIT4", then one section per key, "[HKEY_CURRENT_USER\Software\...]", holding its
// values as "Name"="text" lines ("@" names the unnamed value).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skimbrook {

// Keys and values of one hive, read tolerantly and written back without losing anything:
// a line that cannot be understood is kept as it stands and written again in its place,
// and a value that is not a string keeps its text until it is overwritten or deleted.
// Key paths are relative to HKEY_CURRENT_USER; they and value names compare without
// regard to ASCII letter case, and keep the spelling they were created with.
class THive {
 public:
  // Reads the text of a hive file. Never fails; an empty text is an empty hive.
  static THive Parse(std::string_view Text);
  // The hive in the export format, every line ending in CR LF.
  std::string Text() const;

  // True when A and B name the same key.
  static bool SameKey(const std::string& A, const std::string& B);
  // True when the key has a section of its own or below it. The root always exists.
  bool KeyExists(const std::string& KeyPath) const;
  // Creates the key when missing and tells whether it did. A path the format cannot hold
  // (an empty part, a line break) fails with "Failed to create key <KeyPath>".
  bool CreateKey(const std::string& KeyPath);
  // The named string value, std::nullopt when it or its key is absent. A value of
  // another type fails with TInvalidDataType: "Invalid data type for '<Name>'".
  std::optional<std::string> ReadString(const std::string& KeyPath, const std::string& Name) const;
  // Sets a string value, creating its key; tells whether the hive changed. A name that
  // contains a line break or NUL fails with "Failed to set data for '<Name>'".
  bool WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value);
  // Removes the value; tells whether there was one.
  bool DeleteValue(const std::string& KeyPath, const std::string& Name);

 private:
  enum class TKind { String, OtherType, NotUnderstood };
  // One value, or one line kept verbatim. Lines are the entry's text as it stands in the
  // file (several for a typed value continued with '\').
  struct TEntry {
    TKind Kind = TKind::NotUnderstood;
    std::string Name;
    std::string Data;
    std::vector<std::string> Lines;
    // True when the entry is a value (not a kept line) named Wanted, in any letter case.
    bool IsValueNamed(std::string_view Wanted) const;
  };
  struct TSection {
    std::string Key;  // the text between the brackets
    std::vector<TEntry> Entries;
  };

  static std::string SectionName(const std::string& KeyPath);
  const TSection* FindSection(const std::string& KeyPath) const;
  TSection* FindSection(const std::string& KeyPath);
  const TEntry* FindEntry(const std::string& KeyPath, const std::string& Name) const;
  TSection& SectionFor(const std::string& KeyPath);

  // Lines met before the first section that are neither blank nor the header.
  std::vector<std::string> preamble_;
  std::vector<TSection> sections_;
};

}  // namespace skimbrook
