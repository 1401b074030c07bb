#include "download/uDownloadRun.h"

#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <utility>

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

std::string AddressWithoutPassword(std::string_view Url) {
  // The user information ends at the last '@' of the authority, which ends at the first
  // '/', '?' or '#' after the scheme; an address without a scheme starts with it.
  const size_t scheme = Url.find("://");
  const size_t authority = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t authorityEnd = std::min(Url.find_first_of("/?#", authority), Url.size());
  const size_t at = Url.substr(0, authorityEnd).rfind('@');
  if (at == std::string_view::npos || at < authority) return std::string(Url);
  const size_t colon = Url.substr(0, at).find(':', authority);
  if (colon == std::string_view::npos || colon + 1 == at) return std::string(Url);
  return std::string(Url.substr(0, colon + 1)) + "***" + std::string(Url.substr(at));
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
  client_->OnStatus = [this](const std::string& Text) { AddClientLine("Status: " + Text); };
  client_->OnProgress = [this](std::int64_t Bytes) { ProgressReported(Bytes); };
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
  view_.RowAdded(RowCount() - 1, feed.Title, AddressWithoutPassword(feed.XmlUrl));
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
  AddLogLine("Downloading " + AddressWithoutPassword(url));
  view_.RowStarted(Row);
  SetStatus(Row, kStatusDownloading);
  try {
    {
      // The body goes as soon as it is stored: the feed is read back from the file.
      std::string text = FetchRow(url);
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

std::string TDownloadRun::FetchRow(const std::string& Url) {
  transfer_ = TTransferLog{true, 0, 0, -1, 0, std::chrono::steady_clock::now()};
  struct TEnd {
    TDownloadRun& Run;
    ~TEnd() { Run.EndTransferLog(); }
  } end{*this};
  return client_->Get(Url);
}

void TDownloadRun::AddClientLine(const std::string& Text) {
  if (transfer_.Active && transfer_.Lines >= kMaxClientLinesPerFeed) {
    ++transfer_.Dropped;
    return;
  }
  if (transfer_.Active) ++transfer_.Lines;
  AddLogLine(Text);
}

void TDownloadRun::ProgressReported(std::int64_t Bytes) {
  transfer_.LatestBytes = Bytes;
  const auto now = std::chrono::steady_clock::now();
  if (transfer_.Active && (Bytes - transfer_.LoggedBytes < kProgressLineBytes ||
                           now - transfer_.LoggedAt < kProgressLineInterval))
    return;
  transfer_.LoggedBytes = Bytes;
  transfer_.LoggedAt = now;
  AddClientLine("Progress: " + std::to_string(Bytes));
}

void TDownloadRun::EndTransferLog() {
  TTransferLog ended = std::exchange(transfer_, TTransferLog{});
  if (ended.Dropped > 0) AddLogLine("Log: " + std::to_string(ended.Dropped) + " lines of this feed left out");
  if (ended.LatestBytes >= 0 && ended.LatestBytes != ended.LoggedBytes)
    AddLogLine("Progress: " + std::to_string(ended.LatestBytes));
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
