#include "store/StoreTestSupport.h"

#include <iconv.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "base/uFiles.h"

namespace skimbrook::test {

std::string RssDocument(const std::vector<TDocItem>& Items, const std::string& FeedTitle) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" + FeedTitle + "</title>\n";
  const auto field = [&text](const char* Name, const std::string& Value) {
    if (!Value.empty()) text += std::string("<") + Name + ">" + Value + "</" + Name + ">";
  };
  for (const TDocItem& item : Items) {
    text += "<item>";
    field("title", item.Title);
    field("guid", item.Guid);
    field("link", item.Link);
    field("description", item.Description);
    field("pubDate", item.PubDate);
    text += "</item>\n";
  }
  return text + "</channel></rss>\n";
}

std::string IconvToUtf8(std::string_view Bytes, std::string_view Encoding) {
  if (Encoding.empty()) return std::string(Bytes);
  iconv_t convert = iconv_open("UTF-8", std::string(Encoding).c_str());
  if (convert == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no decoder for the encoding");
  std::string in(Bytes), out(Bytes.size() * 4 + 16, '\0');
  char* from = in.data();
  char* to = out.data();
  size_t fromLeft = in.size(), toLeft = out.size();
  iconv(convert, &from, &fromLeft, &to, &toLeft);
  iconv_close(convert);
  out.resize(out.size() - toLeft);
  return out;
}

// ---------------------------------------------------------------------------------------
// The full disk: a VFS that passes everything to the default one, and refuses to make a
// file longer while the disk is full.

namespace {

bool diskFull = false;
sqlite3_vfs* realVfs = nullptr;
sqlite3_vfs shimVfs;
sqlite3_io_methods shimMethods;

struct TShimFile {
  sqlite3_file Base;
  sqlite3_file* Real;
};

sqlite3_file* Real(sqlite3_file* File) {
  return reinterpret_cast<TShimFile*>(File)->Real;
}

int ShimWrite(sqlite3_file* File, const void* Data, int Amount, sqlite3_int64 Offset) {
  sqlite3_int64 size = 0;
  if (diskFull && Real(File)->pMethods->xFileSize(Real(File), &size) == SQLITE_OK && Offset + Amount > size)
    return SQLITE_FULL;
  return Real(File)->pMethods->xWrite(Real(File), Data, Amount, Offset);
}

int ShimClose(sqlite3_file* File) {
  return Real(File)->pMethods->xClose(Real(File));
}

void FillShimMethods(const sqlite3_io_methods& From) {
  shimMethods.iVersion = From.iVersion;
  shimMethods.xClose = ShimClose;
  shimMethods.xWrite = ShimWrite;
#define SHIM_PASS(Name, Params, Args) \
  shimMethods.Name = [] Params { return Real(File)->pMethods->Name Args; };
  SHIM_PASS(xRead, (sqlite3_file * File, void* Data, int Amount, sqlite3_int64 Offset),
            (Real(File), Data, Amount, Offset))
  SHIM_PASS(xTruncate, (sqlite3_file * File, sqlite3_int64 Size), (Real(File), Size))
  SHIM_PASS(xSync, (sqlite3_file * File, int Flags), (Real(File), Flags))
  SHIM_PASS(xFileSize, (sqlite3_file * File, sqlite3_int64 * Size), (Real(File), Size))
  SHIM_PASS(xLock, (sqlite3_file * File, int Lock), (Real(File), Lock))
  SHIM_PASS(xUnlock, (sqlite3_file * File, int Lock), (Real(File), Lock))
  SHIM_PASS(xCheckReservedLock, (sqlite3_file * File, int* Out), (Real(File), Out))
  SHIM_PASS(xFileControl, (sqlite3_file * File, int Op, void* Arg), (Real(File), Op, Arg))
  SHIM_PASS(xSectorSize, (sqlite3_file * File), (Real(File)))
  SHIM_PASS(xDeviceCharacteristics, (sqlite3_file * File), (Real(File)))
  SHIM_PASS(xShmMap, (sqlite3_file * File, int Page, int Size, int Extend, void volatile** Out),
            (Real(File), Page, Size, Extend, Out))
  SHIM_PASS(xShmLock, (sqlite3_file * File, int Offset, int N, int Flags), (Real(File), Offset, N, Flags))
  SHIM_PASS(xShmUnmap, (sqlite3_file * File, int Delete), (Real(File), Delete))
  SHIM_PASS(xFetch, (sqlite3_file * File, sqlite3_int64 Offset, int Amount, void** Out),
            (Real(File), Offset, Amount, Out))
  SHIM_PASS(xUnfetch, (sqlite3_file * File, sqlite3_int64 Offset, void* Page), (Real(File), Offset, Page))
#undef SHIM_PASS
  shimMethods.xShmBarrier = [](sqlite3_file* File) { Real(File)->pMethods->xShmBarrier(Real(File)); };
}

int ShimOpen(sqlite3_vfs*, const char* Name, sqlite3_file* File, int Flags, int* OutFlags) {
  auto* shim = reinterpret_cast<TShimFile*>(File);
  shim->Real = reinterpret_cast<sqlite3_file*>(shim + 1);
  const int rc = realVfs->xOpen(realVfs, Name, shim->Real, Flags, OutFlags);
  if (rc != SQLITE_OK) {
    File->pMethods = nullptr;
    return rc;
  }
  if (!shimMethods.xClose) FillShimMethods(*shim->Real->pMethods);
  File->pMethods = &shimMethods;
  return rc;
}

}  // namespace

const char* FullDiskVfs() {
  if (!realVfs) {
    realVfs = sqlite3_vfs_find(nullptr);
    shimVfs = *realVfs;
    shimVfs.zName = "fulldisk";
    shimVfs.szOsFile = static_cast<int>(sizeof(TShimFile)) + realVfs->szOsFile;
    shimVfs.xOpen = ShimOpen;
    sqlite3_vfs_register(&shimVfs, 0);
  }
  return shimVfs.zName;
}

void SetDiskFull(bool Full) {
  diskFull = Full;
}

std::string QueryOnOwnConnection(const std::string& Path, const char* Sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::string answer;
  const int rc = sqlite3_prepare_v2(db, Sql, -1, &statement, nullptr) == SQLITE_OK ? sqlite3_step(statement)
                                                                                   : SQLITE_ERROR;
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    answer = text ? reinterpret_cast<const char*>(text) : "";
  } else if (rc != SQLITE_DONE) {
    answer = std::string("error: ") + sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return answer;
}

// ---------------------------------------------------------------------------------------
// The fixture

void StoreTest::SetUp() {
  SetDataFolder(dir.Path());
  store = std::make_unique<TItemStore>(Options());
  ASSERT_TRUE(store->Open().Ok());
}

void StoreTest::TearDown() {
  store.reset();
  SetDiskFull(false);
  list.Clear();
  SetDataFolder("");
}

TItemStoreOptions StoreTest::Options() {
  TItemStoreOptions options;
  options.Decoder = IconvToUtf8;
  options.Clock = [this] { return now; };
  options.BusyTimeoutMs = 20;
  options.Vfs = FullDiskVfs();
  return options;
}

std::shared_ptr<TFeed> StoreTest::AddFeed(const std::string& Title, const std::string& Url) {
  auto feed = std::make_shared<TFeed>(Title, "", Url, "");
  list.Add(feed);
  return feed;
}

TStoreResult StoreTest::Download(TFeed& Feed, const std::string& Document, const std::string& Encoding) {
  const std::string cache = Feed.CacheFileName();
  if (FileExists(cache)) std::rename(cache.c_str(), (cache + ".bak").c_str());
  WriteFile(cache, Document);
  Feed.ApplyDownload();
  return store->StoreFeed(Feed, Encoding);
}

std::vector<std::string> StoreTest::Titles(const std::vector<TStoredItem>& Items) {
  std::vector<std::string> titles;
  for (const TStoredItem& item : Items) titles.push_back(item.Title);
  return titles;
}

bool StoreTest::IsReadInFeed(const TFeed& Feed, const std::string& Title) {
  for (int i = 0; i < Feed.ItemCount(); ++i)
    if (Feed.Items(i).Title == Title) return Feed.Items(i).IsRead;
  ADD_FAILURE() << "no item titled " << Title;
  return false;
}

}  // namespace skimbrook::test
