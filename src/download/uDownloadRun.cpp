#include "download/uDownloadRun.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "base/uFiles.h"

namespace skimbrook {

namespace {

// Renames From to To only when To does not exist; false when nothing was renamed.
bool RenameUnlessTargetExists(const std::string& From, const std::string& To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: check first, then rename.
  return !FileExists(To) && std::rename(From.c_str(), To.c_str()) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The pieces

void StoreDownloadedText(const std::string& CacheFile, std::string_view Text) {
  const std::string backup = CacheFile + ".bak";
  // An existing backup still holds read flags that a failed merge did not carry over, so
  // it is never replaced; the current cache file is then simply overwritten.
  bool movedAside = FileExists(CacheFile) && RenameUnlessTargetExists(CacheFile, backup);
  try {
    WriteFileAtomicFrom(CacheFile, [Text](TFileSink& Sink) {
      ForEachDownloadedLine(Text, [&Sink](std::string_view Line) {
        Sink.Write(Line);
        Sink.Write("\r\n");
      });
    });
  } catch (...) {
    if (movedAside) std::rename(backup.c_str(), CacheFile.c_str());
    throw;
  }
}

std::string LogTimeStamp(std::chrono::system_clock::time_point Time) {
  using namespace std::chrono;
  std::time_t seconds = system_clock::to_time_t(Time);
  auto millis = duration_cast<milliseconds>(Time.time_since_epoch()).count() % 1000;
  if (millis < 0) millis += 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d:%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}

// ---------------------------------------------------------------------------------------
// The run

TDownloadRun::TDownloadRun(std::unique_ptr<HttpClient> Client, TDownloadView& View)
    : client_(std::move(Client)), view_(View) {
  client_->OnStatus = [this](const std::string& Text) { AddLogLine("Status: " + Text); };
  client_->OnProgress = [this](std::int64_t Bytes) { AddLogLine("Progress: " + std::to_string(Bytes)); };
}

TDownloadRun::~TDownloadRun() {
  if (!client_) return;
  client_->OnStatus = nullptr;
  client_->OnProgress = nullptr;
}

void TDownloadRun::CloseClient() {
  client_.reset();
}

void TDownloadRun::QueueFeed(std::shared_ptr<TFeed> Feed) {
  rows_.push_back({std::move(Feed), ""});
  const TFeed& feed = *rows_.back().Feed;
  view_.RowAdded(RowCount() - 1, feed.Title, feed.XmlUrl);
}

void TDownloadRun::RunQueue(const std::optional<THttpProxy>& Proxy) {
  if (!client_) throw std::logic_error("download run: the client is closed");
  // A second RunQueue from an event handled while this one waits would fetch re-entrantly.
  if (running_) throw std::logic_error("download run: already running");
  running_ = true;
  struct TEndOfRun {
    bool& Running;
    ~TEndOfRun() { Running = false; }
  } endOfRun{running_};
  if (Proxy) client_->SetProxy(*Proxy);
  // Rows queued while the run waits on the network are processed too.
  for (int row = 0; row < RowCount() && !aborted_; ++row) ProcessRow(row);
}

void TDownloadRun::Abort() {
  aborted_ = true;
  if (client_) client_->Abort();
}

void TDownloadRun::ProcessRow(int Row) {
  // Held here as well, so that the row's feed outlives this row even if the queue grows.
  std::shared_ptr<TFeed> feed = rows_[Row].Feed;
  const std::string url = feed->XmlUrl;
  const std::string cacheFile = feed->CacheFileName();
  AddLogLine("Downloading " + url);
  view_.RowStarted(Row);
  SetStatus(Row, kStatusDownloading);
  try {
    {
      // The body goes as soon as it is stored: the feed is read back from the file.
      std::string text = client_->Get(url);
      StoreDownloadedText(cacheFile, text);
    }
    SetStatus(Row, kStatusDone);
    feed->ApplyDownload();
    feed->Changed();
    if (OnFeedApplied) OnFeedApplied(*feed);
  } catch (...) {
    // Every failure of a row ends in its status; the log keeps only the client's events.
    SetStatus(Row, kStatusError);
  }
}

void TDownloadRun::SetStatus(int Row, const char* Status) {
  rows_[Row].Status = Status;
  view_.RowStatusChanged(Row, Status);
}

void TDownloadRun::AddLogLine(const std::string& Text) {
  log_.push_back(LogTimeStamp(std::chrono::system_clock::now()) + "   " + Text);
  view_.LogLineAdded(log_.back());
}

void TDownloadRun::WriteLog(const std::string& Path) const {
  WriteFileAtomic(Path, JoinLinesCRLF(log_));
}

}  // namespace skimbrook
