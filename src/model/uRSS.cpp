// The feed model: the subscription list, its entries and their items, the data folder,
// and the operations that keep read flags and unread counts in step with the files.
#include "model/uRSS.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "base/uFiles.h"
#include "model/uRSS_internal.h"

namespace skimbrook {

// ---------------------------------------------------------------------------------------
// Shared helpers

namespace {

char AsciiLower(char C) {
  return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + ('a' - 'A')) : C;
}

std::string AsciiLowerCopy(std::string_view Text) {
  std::string lower(Text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

std::string& DataFolderStore() {
  static std::string folder;
  return folder;
}

// Removes a file that must go; a file that is already gone is fine.
void RemoveFile(const std::string& Path) {
  if (std::remove(Path.c_str()) != 0 && errno != ENOENT)
    throw std::runtime_error("Cannot delete file \"" + Path + "\". " + std::strerror(errno));
}

}  // namespace

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (AsciiLower(A[i]) != AsciiLower(B[i])) return false;
  return true;
}

void SetDataFolder(std::string Path) {
  // An empty path stays empty (the current folder) rather than becoming the root folder.
  if (!Path.empty() && Path.back() != '/') Path += '/';
  DataFolderStore() = std::move(Path);
}

const std::string& DataFolder() {
  return DataFolderStore();
}

// ---------------------------------------------------------------------------------------
// TFeedItem

void TFeedItem::SetRead(bool Value) {
  IsRead = Value;
  Changed();
  TFeed* feed = Feed;
  if (!feed) return;
  feed->UnreadCount = feed->CountUnread();
  feed->Changed();
  feed->SaveCache();
  if (feed->Owner) feed->Owner->SaveDefault();
}

const std::string& ItemIdentity(const TFeedItem& Item) {
  if (!Item.Guid.empty()) return Item.Guid;
  if (!Item.Link.empty()) return Item.Link;
  return Item.Title;
}

void TFeedItem::Changed() {
  if (OnChange) OnChange(index_, *this);
}

// ---------------------------------------------------------------------------------------
// TFeed

TFeed::TFeed(std::string Title, std::string HtmlUrl, std::string XmlUrl, std::string Description)
    : Title(std::move(Title)),
      XmlUrl(std::move(XmlUrl)),
      HtmlUrl(std::move(HtmlUrl)),
      Description(std::move(Description)) {}

TFeed::~TFeed() {
  DetachItems();
}

void TFeed::DetachItems() {
  // Items kept alive elsewhere (the window's current item) must not point at a feed
  // that no longer holds them.
  for (auto& item : items_) {
    item->Feed = nullptr;
    item->index_ = -1;
  }
  items_.clear();
}

void TFeed::ReplaceItems() {
  DetachItems();
  itemsLoaded_ = true;
}

int TFeed::ItemCount() const {
  return itemsLoaded_ ? static_cast<int>(items_.size()) : -1;
}

TFeedItem& TFeed::Items(int Index) const {
  return *items_[static_cast<size_t>(Index)];
}

const std::shared_ptr<TFeedItem>& TFeed::ItemPtr(int Index) const {
  return items_[static_cast<size_t>(Index)];
}

void TFeed::AddItem(std::shared_ptr<TFeedItem> Item) {
  itemsLoaded_ = true;
  Item->Feed = this;
  Item->index_ = static_cast<int>(items_.size());
  items_.push_back(std::move(Item));
}

void TFeed::AdoptItems(std::vector<std::shared_ptr<TFeedItem>>&& First,
                       std::vector<std::shared_ptr<TFeedItem>>&& Then, int Unread) {
  itemsLoaded_ = true;
  const bool wasEmpty = items_.empty();
  if (wasEmpty && (First.empty() || Then.empty())) {
    // A document mostly fills one of the lists only, which then becomes the feed's own
    // without its items being visited again.
    items_ = std::move(First.empty() ? Then : First);
  } else {
    items_.reserve(items_.size() + First.size() + Then.size());
    for (auto* list : {&First, &Then}) {
      const int offset = static_cast<int>(items_.size());
      for (auto& item : *list) {
        item->index_ += offset;
        items_.push_back(std::move(item));
      }
    }
  }
  UnreadCount = wasEmpty ? Unread : CountUnread();
}

int TFeed::CountUnread() const {
  int unread = 0;
  for (const auto& item : items_)
    if (!item->IsRead) ++unread;
  return unread;
}

bool TFeed::IsReadByTitle(std::string_view Title) const {
  bool read = false;
  for (const auto& item : items_)
    if (SameText(item->Title, Title)) read = item->IsRead;
  return read;
}

namespace {

// A file name has at most 255 bytes. The cache file's letters and digits stand as they
// are while the longest name made from them still fits: the cache file name with the
// atomic write's ".tmp-XXXXXX" after ".xml" (the backup's ".bak" is shorter).
constexpr size_t kFileNameMax = 255;
constexpr size_t kCacheSuffixes = std::string_view(".xml").size() + std::string_view(".tmp-XXXXXX").size();
constexpr size_t kFittingLetters = kFileNameMax - kCacheSuffixes;
// A longer address keeps this many of its letters and digits, then '-' (which the letters
// and digits never hold, so no such name equals one that fits) and a hash of the address.
constexpr size_t kKeptLetters = 200;

// The 64-bit FNV-1a hash of Text in 16 hexadecimal digits: the same on every machine and
// in every run, as a file name must be.
std::string StableHash(std::string_view Text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : Text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

// The cache file name made from Address's letters and digits.
std::string CacheFileNameOf(const std::string& Address) {
  std::string letters = AlphaNumOnly(Address);
  if (letters.size() > kFittingLetters) letters = letters.substr(0, kKeptLetters) + "-" + StableHash(Address);
  return DataFolder() + letters + ".xml";
}

}  // namespace

std::string TFeed::CacheFileName() const {
  // A password written in the address never names a file.
  return CacheFileNameOf(AddressWithoutCredentials(XmlUrl));
}

void TFeed::MoveTo(const std::string& NewUrl) {
  if (NewUrl == XmlUrl) return;
  AdoptOldCacheFile();
  const std::string oldCache = CacheFileName();
  XmlUrl = NewUrl;
  const std::string newCache = CacheFileName();
  if (newCache != oldCache && FileExists(oldCache)) RenameUnlessTargetExists(oldCache, newCache);
  Changed();
}

void TFeed::AdoptOldCacheFile() const {
  const std::string old = CacheFileNameOf(XmlUrl);
  const std::string current = CacheFileName();
  if (old == current || !FileExists(old) || FileExists(current)) return;
  if (std::rename(old.c_str(), current.c_str()) != 0) return;
  if (FileExists(old + ".bak") && !FileExists(current + ".bak"))
    std::rename((old + ".bak").c_str(), (current + ".bak").c_str());
}

void TFeed::SaveToFile(const std::string& Path) const {
  WriteFileAtomic(Path, JoinLinesCRLF(CacheFileLines(*this)));
}

void TFeed::LoadCache() {
  AdoptOldCacheFile();
  const std::string path = CacheFileName();
  const std::string backup = path + ".bak";
  // A run cut short between moving the cache file aside and writing the new one.
  if (!FileExists(path) && FileExists(backup)) std::rename(backup.c_str(), path.c_str());
  if (!FileExists(path)) return;
  LoadFromFile(path);
  if (FileExists(backup)) TakeFlagsFromBackup(backup);
}

void TFeed::SaveCache() const {
  SaveToFile(CacheFileName());
}

void TFeed::ApplyDownload() {
  // Loading the cache file takes the flags from the backup the download left beside it.
  LoadCache();
}

std::unique_ptr<TFeed> TFeed::ReadDownloaded(std::string Text) const {
  auto parsed = std::make_unique<TFeed>(Title, HtmlUrl, XmlUrl, Description);
  parsed->UserTitle = UserTitle;
  try {
    LoadFeedFromString(*parsed, std::move(Text));
  } catch (const std::exception&) {
    return nullptr;
  }
  return parsed;
}

void TFeed::ApplyDownload(TFeed&& Parsed) {
  Title = std::move(Parsed.Title);
  HtmlUrl = std::move(Parsed.HtmlUrl);
  Description = std::move(Parsed.Description);
  DetachItems();
  items_ = std::move(Parsed.items_);
  Parsed.items_.clear();
  for (auto& item : items_) item->Feed = this;
  itemsLoaded_ = true;
  UnreadCount = CountUnread();
  if (const std::string backup = CacheFileName() + ".bak"; FileExists(backup)) TakeFlagsFromBackup(backup);
}

void TFeed::TakeFlagsFromBackup(const std::string& Backup) {
  // A backup that cannot even be opened is left alone (the error goes to the caller);
  // one whose content is not a feed would block every later merge, so it goes.
  std::string backupBytes = ReadFileBytes(Backup);
  TFeed previous;
  try {
    LoadFeedFromString(previous, std::move(backupBytes));
  } catch (const std::exception&) {
    RemoveFile(Backup);
    return;
  }
  // The last namesake in the backup decides, as IsReadByTitle does, in one pass.
  std::unordered_map<std::string, bool> readByTitle;
  for (int i = 0; i < previous.ItemCount(); ++i)
    readByTitle[AsciiLowerCopy(previous.Items(i).Title)] = previous.Items(i).IsRead;
  for (auto& item : items_) {
    auto found = readByTitle.find(AsciiLowerCopy(item->Title));
    item->IsRead = found != readByTitle.end() && found->second;
  }
  UnreadCount = CountUnread();
  SaveCache();
  RemoveFile(Backup);
}

void TFeed::Changed() {
  if (!OnChange) return;
  int index = -1;
  if (Owner) {
    bool hintHolds = indexHint_ >= 0 && indexHint_ < Owner->Count() && Owner->Feeds(indexHint_).get() == this;
    index = hintHolds ? indexHint_ : Owner->IndexOf(*this);
    indexHint_ = index;
  }
  OnChange(index, *this);
}

void TFeed::CatchUp() {
  if (ItemCount() == -1) LoadCache();
  for (auto& item : items_) {
    item->IsRead = true;
    item->Changed();
  }
  UnreadCount = 0;
  Changed();
  SaveCache();
}

// ---------------------------------------------------------------------------------------
// TFeedList

TFeedList::~TFeedList() {
  Clear();
}

const std::shared_ptr<TFeed>& TFeedList::Feeds(int Index) const {
  return feeds_[static_cast<size_t>(Index)];
}

int TFeedList::IndexOf(const TFeed& Feed) const {
  for (size_t i = 0; i < feeds_.size(); ++i)
    if (feeds_[i].get() == &Feed) return static_cast<int>(i);
  return -1;
}

int TFeedList::IndexOfAddress(std::string_view Url) const {
  const std::string key = FeedAddressKey(Url);
  for (size_t i = 0; i < feeds_.size(); ++i)
    if (!feeds_[i]->XmlUrl.empty() && FeedAddressKey(feeds_[i]->XmlUrl) == key) return static_cast<int>(i);
  return -1;
}

const TFeed* TFeedList::OtherWithAddress(const TFeed& Feed, std::string_view Url) const {
  const std::string key = FeedAddressKey(Url);
  for (const std::shared_ptr<TFeed>& entry : feeds_)
    if (entry.get() != &Feed && !entry->XmlUrl.empty() && FeedAddressKey(entry->XmlUrl) == key)
      return entry.get();
  return nullptr;
}

void TFeedList::RenumberFrom(int Index) {
  for (size_t i = static_cast<size_t>(Index); i < feeds_.size(); ++i)
    feeds_[i]->indexHint_ = static_cast<int>(i);
}

void TFeedList::Add(std::shared_ptr<TFeed> Feed) {
  Feed->Owner = this;
  Feed->indexHint_ = Count();
  feeds_.push_back(std::move(Feed));
}

void TFeedList::Insert(std::shared_ptr<TFeed> Feed, int Index) {
  Feed->Owner = this;
  feeds_.insert(feeds_.begin() + Index, std::move(Feed));
  RenumberFrom(Index);
}

std::shared_ptr<TFeed> TFeedList::Delete(int Index) {
  std::shared_ptr<TFeed> feed = std::move(feeds_[static_cast<size_t>(Index)]);
  feeds_.erase(feeds_.begin() + Index);
  RenumberFrom(Index);
  // The caller may keep the entry after the list is gone; it must not point back.
  feed->Owner = nullptr;
  feed->indexHint_ = -1;
  return feed;
}

void TFeedList::Clear() {
  // The entries leave the list before any of them is destroyed, so no destructor sees a
  // half-cleared list.
  std::vector<std::shared_ptr<TFeed>> feeds = std::exchange(feeds_, {});
  for (auto& feed : feeds) {
    feed->Owner = nullptr;
    feed->indexHint_ = -1;
  }
  feeds.clear();
  // The emptied storage is kept for the next entries: a list is mostly cleared to be
  // filled again, and growing it anew asks the allocator for ever larger blocks while the
  // old entries' memory waits to be reused.
  if (feeds_.capacity() == 0) feeds_.swap(feeds);
}

void TFeedList::SaveToFile(const std::string& Path) const {
  WriteFileAtomic(Path, JoinLinesCRLF(OpmlLines(*this)));
}

void TFeedList::ExportToFile(const std::string& Path, std::string_view Title, std::time_t Created) const {
  WritePrivateFileAtomic(Path, JoinLinesCRLF(Opml2Lines(*this, Title, Created)));
}

void TFeedList::LoadDefault() {
  damagedCopyPath_.clear();
  // Until the file is read, or a copy of a damaged one is kept, saving would lose it.
  defaultHeldBack_ = true;
  std::string path = DataFolder() + "default.opml";
  if (FileExists(path)) {
    try {
      LoadFromFile(path);
    } catch (const std::exception&) {
      CopyDamagedDefault(path);
      defaultHeldBack_ = false;
      throw;
    }
    if (!lastParseError_.empty()) CopyDamagedDefault(path);
  }
  defaultHeldBack_ = false;
}

void TFeedList::CopyDamagedDefault(const std::string& Path) {
  damagedCopyPath_ = KeepDamagedCopy(Path);
}

void TFeedList::SaveDefault() const {
  if (defaultHeldBack_)
    throw std::runtime_error(
        "The subscription list default.opml could not be read, so it is left unchanged.");
  // The addresses may carry passwords: the file is the user's alone.
  WritePrivateFileAtomic(DataFolder() + "default.opml", JoinLinesCRLF(OpmlLines(*this)));
}

}  // namespace skimbrook
