// Fixed facts about the product: its name, version, addresses and release date. Every
// window takes them from here.
#pragma once

namespace skimbrook::product {

inline constexpr const char* kName = "Skimbrook";
inline constexpr const char* kMainCaption = "Skimbrook v.1.0";
inline constexpr const char* kVersion = "1.0";
inline constexpr const char* kBuild = "100";
// Month/day/year, two digits, two digits, four digits.
inline constexpr const char* kReleaseDate = "12/08/2026";
inline constexpr const char* kRightsNotice = "Copyright (C) 2026 The Skimbrook developers";

// The product's web site (its root page), opened by Help > Home Page and the browser's
// home button.
inline constexpr const char* kHomePage = "http://www.skimbrook.org/";
inline constexpr const char* kSupportMailbox = "support@skimbrook.org";

// The feed directory searched from the File menu: its name, its web host and the path of
// its search page, which takes the keywords (blanks as "+") at the end.
inline constexpr const char* kDirectoryName = "Feed Directory";
inline constexpr const char* kDirectoryHost = "directory.skimbrook.org";
inline constexpr const char* kDirectorySearchPath = "/feedlist.php?ShowMatch=";

}  // namespace skimbrook::product
