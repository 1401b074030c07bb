// The fetch state: what HTTP and the desktop need to know about each feed between runs and
// the stored formats have no place for (validators, last success, why the last download
// failed, how long a server asked us to wait, where a feed has moved, the document's
// encoding). One file in the data folder for all feeds, keyed by XmlUrl. Nothing in it is
// needed to read a cache file: deleting it loses nothing but the next request's validators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace skimbrook {

// Seconds since 1970-01-01 UTC; 0 means "never" or "not set".
using TUnixTime = std::int64_t;

// What is kept for one feed. Texts are bytes, byte for byte as the server sent them.
struct TFetchRecord {
  std::string ETag;
  std::string LastModified;
  TUnixTime LastSuccess = 0;
  // Why the last download failed, in words; empty when it succeeded.
  std::string LastFailure;
  TUnixTime LastFailureTime = 0;
  // A server's Retry-After: every run skips the feed until then, except a download the user
  // asks for that one feed.
  TUnixTime WaitUntil = 0;
  // Cache-Control max-age or Expires: the runs that start by themselves skip the feed until
  // then.
  TUnixTime FreshUntil = 0;
  // The address a permanent redirect named in the last answer; empty when it named none.
  std::string MovedTo;
  // The document's encoding (its XML declaration's, else the HTTP charset), or empty.
  std::string Encoding;

  bool operator==(const TFetchRecord&) const = default;
};

class TFetchState {
 public:
  // The state kept in the file at Path; nothing is read until Load.
  explicit TFetchState(std::string Path);
  ~TFetchState();
  TFetchState(const TFetchState&) = delete;
  TFetchState& operator=(const TFetchState&) = delete;

  // The state in the data folder: DataFolder() + "fetch-state.json".
  static std::string DefaultPath();

  // A file larger than this is not read.
  static constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;
  // Arrays and objects nested deeper than this (the document itself is level 1) are not
  // read: what is kept is copied and written by functions that recurse once per level.
  static constexpr int kMaxDepth = 64;

  // Reads the file. A missing file gives an empty state. A damaged one is copied aside
  // (Path + ".damaged-YYYYMMDD-HHMMSS") and ignored; the copy's path is returned then, and
  // an empty text otherwise. A file over kMaxFileBytes or nested deeper than kMaxDepth, one
  // that is not an object, and one whose "feeds" is not an object count as damaged.
  std::string Load();
  // Writes the file atomically and readable by its owner only (it holds feed addresses),
  // with every entry and field it read that this program does not know kept as it was;
  // should that make the file larger than kMaxFileBytes, only what this program knows is
  // written, so that the file always reads back.
  void Save() const;

  // The record of XmlUrl, created empty when there is none.
  TFetchRecord& For(const std::string& XmlUrl);
  // The record of XmlUrl, or none.
  const TFetchRecord* Find(const std::string& XmlUrl) const;
  // The record of From becomes that of To (a feed that moved); nothing when From has none.
  void Rename(const std::string& From, const std::string& To);
  // Drops the records, and the entries this program does not know, of every feed whose
  // address is not among XmlUrls (the subscribed feeds), so that the file does not keep
  // feeds that are gone.
  void KeepOnly(const std::set<std::string>& XmlUrls);

  const std::string& Path() const { return path_; }

 private:
  struct TUnknown;

  std::string path_;
  std::map<std::string, TFetchRecord> records_;
  // What the file held that this program does not know, kept for the next save.
  std::unique_ptr<TUnknown> unknown_;
};

}  // namespace skimbrook
