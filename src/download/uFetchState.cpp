#include "download/uFetchState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/uFiles.h"
#include "model/uRSS.h"

namespace skimbrook {

using nlohmann::json;

namespace {

constexpr const char* kFeeds = "feeds";

// JSON strings must be UTF-8, while the texts kept here are bytes as servers sent them. Each
// byte is written as the character of the same number (U+0000 to U+00FF), so every byte
// survives the round trip.
std::string BytesToJson(const std::string& Bytes) {
  std::string out;
  out.reserve(Bytes.size());
  for (unsigned char byte : Bytes) {
    if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

// The inverse; a character past U+00FF (written by someone else) keeps its UTF-8 bytes.
std::string JsonToBytes(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(Text[i]);
    if ((lead == 0xC2 || lead == 0xC3) && i + 1 < Text.size()) {
      out += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(Text[i + 1]) & 0x3F));
      ++i;
    } else {
      out += static_cast<char>(lead);
    }
  }
  return out;
}

struct TTextField {
  const char* Name;
  std::string TFetchRecord::*Member;
};
struct TTimeField {
  const char* Name;
  TUnixTime TFetchRecord::*Member;
};

constexpr TTextField kTextFields[] = {{"etag", &TFetchRecord::ETag},
                                      {"lastModified", &TFetchRecord::LastModified},
                                      {"lastFailure", &TFetchRecord::LastFailure},
                                      {"movedTo", &TFetchRecord::MovedTo},
                                      {"encoding", &TFetchRecord::Encoding}};
constexpr TTimeField kTimeFields[] = {{"lastSuccess", &TFetchRecord::LastSuccess},
                                      {"lastFailureTime", &TFetchRecord::LastFailureTime},
                                      {"waitUntil", &TFetchRecord::WaitUntil},
                                      {"freshUntil", &TFetchRecord::FreshUntil}};

// The known fields of one entry; a field of the wrong type is left to the unknown part.
TFetchRecord RecordFrom(const json& Entry) {
  TFetchRecord record;
  for (const auto& field : kTextFields) {
    auto it = Entry.find(field.Name);
    if (it != Entry.end() && it->is_string()) record.*field.Member = JsonToBytes(it->get<std::string>());
  }
  for (const auto& field : kTimeFields) {
    auto it = Entry.find(field.Name);
    if (it != Entry.end() && it->is_number_integer()) record.*field.Member = it->get<TUnixTime>();
  }
  return record;
}

// Writes Record's fields into Entry: set ones replace what was there, empty ones go.
void WriteRecord(const TFetchRecord& Record, json& Entry) {
  for (const auto& field : kTextFields) {
    const std::string& value = Record.*field.Member;
    if (value.empty())
      Entry.erase(field.Name);
    else
      Entry[field.Name] = BytesToJson(value);
  }
  for (const auto& field : kTimeFields) {
    const TUnixTime value = Record.*field.Member;
    if (value == 0)
      Entry.erase(field.Name);
    else
      Entry[field.Name] = value;
  }
}

// The file's bytes, or nothing when it holds more than Limit of them. The size is looked at
// before anything is read, and no more than that size is read should the file grow meanwhile.
std::optional<std::string> ReadAtMost(const std::string& Path, std::size_t Limit) {
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "Cannot open file \"" + Path + "\"");
  struct TCloser {
    int Fd;
    ~TCloser() { ::close(Fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    throw std::system_error(errno, std::generic_category(), "Cannot read file \"" + Path + "\"");
  if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > Limit) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n == 0) break;
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "Cannot read file \"" + Path + "\"");
    }
  }
  bytes.resize(done);
  return bytes;
}

// True when Text nests arrays and objects deeper than Limit, found by counting brackets
// outside strings, one byte at a time (nothing recurses). For any text the JSON reader
// accepts, this is exactly the depth it would build; other texts are refused by it anyway.
bool NestedDeeperThan(std::string_view Text, int Limit) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (inString) {
      if (c == '\\')
        ++i;  // the escaped character cannot end the string
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > Limit) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

// The record of each feed into Feeds, the object that holds the entries: set fields replace
// what was there, empty ones go, and an entry that was not an object becomes one.
void WriteRecords(const std::map<std::string, TFetchRecord>& Records, json& Feeds) {
  for (const auto& [url, record] : Records) {
    json& entry = Feeds[BytesToJson(url)];
    if (!entry.is_object()) entry = json::object();
    WriteRecord(record, entry);
  }
}

}  // namespace

// The whole document as read: entries and fields this program does not know stay in it.
struct TFetchState::TUnknown {
  json Document = json::object();
};

TFetchState::TFetchState(std::string Path) : path_(std::move(Path)), unknown_(std::make_unique<TUnknown>()) {}

TFetchState::~TFetchState() = default;

std::string TFetchState::DefaultPath() {
  return DataFolder() + "fetch-state.json";
}

std::string TFetchState::Load() {
  records_.clear();
  unknown_->Document = json::object();
  if (!FileExists(path_)) return {};
  json document;
  {
    const std::optional<std::string> text = ReadAtMost(path_, kMaxFileBytes);
    if (!text || NestedDeeperThan(*text, kMaxDepth)) return KeepDamagedCopy(path_);
    document = json::parse(*text, nullptr, false);
  }
  const bool usable = document.is_object() && (!document.contains(kFeeds) || document[kFeeds].is_object());
  if (!usable) return KeepDamagedCopy(path_);
  if (auto feeds = document.find(kFeeds); feeds != document.end()) {
    for (auto entry = feeds->begin(); entry != feeds->end(); ++entry)
      if (entry->is_object()) records_[JsonToBytes(entry.key())] = RecordFrom(*entry);
  }
  unknown_->Document = std::move(document);
  return {};
}

void TFetchState::Save() const {
  // The records go into the document as read rather than into a copy of it: the fields they
  // replace there are theirs anyway, and a large document is not held twice.
  json& document = unknown_->Document;
  json& feeds = document[kFeeds];
  if (!feeds.is_object()) feeds = json::object();
  WriteRecords(records_, feeds);
  document["version"] = 1;
  // Without indentation, the text grows little beyond what was read (numbers may be
  // written longer than they were); indentation would repeat once per level for each value.
  std::string text = document.dump();
  if (text.size() >= kMaxFileBytes) {
    json known = {{kFeeds, json::object()}, {"version", 1}};
    WriteRecords(records_, known[kFeeds]);
    text = known.dump();
  }
  WritePrivateFileAtomic(path_, text + "\n");
}

TFetchRecord& TFetchState::For(const std::string& XmlUrl) {
  return records_[XmlUrl];
}

const TFetchRecord* TFetchState::Find(const std::string& XmlUrl) const {
  auto it = records_.find(XmlUrl);
  return it == records_.end() ? nullptr : &it->second;
}

void TFetchState::Rename(const std::string& From, const std::string& To) {
  auto it = records_.find(From);
  if (it == records_.end() || From == To) return;
  records_[To] = std::move(it->second);
  records_.erase(it);
  json& feeds = unknown_->Document[kFeeds];
  if (!feeds.is_object()) return;
  auto old = feeds.find(BytesToJson(From));
  if (old == feeds.end()) return;
  json moved = std::move(*old);
  feeds.erase(old);
  feeds[BytesToJson(To)] = std::move(moved);
}

void TFetchState::KeepOnly(const std::set<std::string>& XmlUrls) {
  std::erase_if(records_, [&XmlUrls](const auto& Record) { return !XmlUrls.contains(Record.first); });
  auto feeds = unknown_->Document.find(kFeeds);
  if (feeds == unknown_->Document.end() || !feeds->is_object()) return;
  for (auto entry = feeds->begin(); entry != feeds->end();) {
    if (XmlUrls.contains(JsonToBytes(entry.key())))
      ++entry;
    else
      entry = feeds->erase(entry);
  }
}

}  // namespace skimbrook
