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
#include "model/uRSS_internal.h"

namespace skimbrook {

namespace {

// Renames From to To only when To does not exist; false when nothing was renamed.
bool RenameUnlessTargetExists(const std::string& From, const std::string& To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: check first, then rename.
  return !FileExists(To) && std::rename(From.c_str(), To.c_str()) == 0;
}

bool IsRedirect(long Code) {
  return Code == 301 || Code == 302 || Code == 303 || Code == 307 || Code == 308;
}

bool IsPermanentRedirect(long Code) {
  return Code == 301 || Code == 308;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

// A failure whose text is the reason kept for the feed.
[[noreturn]] void Fail(const std::string& Reason) {
  throw THttpFailure(Reason);
}

// Whether Body reads as a feed document.
bool IsFeedDocument(const std::string& Body) {
  TFeed probe;
  try {
    LoadFeedFromString(probe, Body);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The validators and freshness of a fresh answer. A validator the answer does not carry
// no longer describes the stored document, except after a 304, which may leave them out.
void TakeValidators(TFetchRecord& Record, const THttpResponse& Response, TUnixTime Now) {
  const bool notModified = Response.Code == 304;
  if (auto etag = Response.Header("ETag"))
    Record.ETag = *etag;
  else if (!notModified)
    Record.ETag.clear();
  if (auto modified = Response.Header("Last-Modified"))
    Record.LastModified = *modified;
  else if (!notModified)
    Record.LastModified.clear();
  Record.FreshUntil = FreshUntilFrom(Response, Now);
}

void Succeeded(TFetchRecord& Record, TUnixTime Now) {
  Record.LastSuccess = Now;
  Record.LastFailure.clear();
  Record.LastFailureTime = 0;
  Record.WaitUntil = 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The pieces

void MoveSubscription(TFeed& Feed, const std::string& NewUrl, TFetchState& State) {
  if (NewUrl == Feed.XmlUrl) return;
  const std::string oldUrl = Feed.XmlUrl;
  const std::string oldCache = Feed.CacheFileName();
  Feed.XmlUrl = NewUrl;
  const std::string newCache = Feed.CacheFileName();
  // Another subscription's cache file of that name is never replaced; the feed then reads
  // that one until its next download.
  if (newCache != oldCache && FileExists(oldCache)) RenameUnlessTargetExists(oldCache, newCache);
  State.Rename(oldUrl, NewUrl);
  State.For(NewUrl).MovedTo.clear();
  Feed.Changed();
}

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

TDownloadRun::TDownloadRun(std::unique_ptr<HttpClient> Client, TDownloadView& View, TFetchState* State)
    : client_(std::move(Client)), view_(View), state_(State) {
  if (!state_) {
    ownState_ = std::make_unique<TFetchState>("");
    state_ = ownState_.get();
  }
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
  client_->UserAgent = options_.UserAgent;
  // Rows queued while the run waits on the network are processed too.
  for (int row = 0; row < RowCount(); ++row) {
    if (aborted_)
      SetStatus(row, kStatusStopped);
    else
      ProcessRow(row);
  }
  // Written once the rows are done, stopped or not: it holds what this run learnt.
  if (!state_->Path().empty()) state_->Save();
}

void TDownloadRun::Abort() {
  aborted_ = true;
  if (client_) client_->Abort();
}

void TDownloadRun::ProcessRow(int Row) {
  // Held here as well, so that the row's feed outlives this row even if the queue grows.
  std::shared_ptr<TFeed> feed = rows_[Row].Feed;
  const std::string url = feed->XmlUrl;
  // A skipped row touches no file and sends nothing.
  if (std::string skip = SkipStatus(state_->For(url), options_.Kind, NowUnix()); !skip.empty()) {
    SetStatus(Row, skip);
    return;
  }
  AddLogLine("Downloading " + AddressWithoutPassword(url));
  view_.RowStarted(Row);
  SetStatus(Row, kStatusDownloading);
  try {
    FetchAndStore(Row, *feed);
  } catch (const std::exception& error) {
    // Every failure of a row ends in its status and its reason in the fetch state; the
    // log keeps only the client's events.
    if (aborted_)
      SetStatus(Row, kStatusStopped);
    else
      RowFailed(Row, feed->XmlUrl, error.what());
  } catch (...) {
    RowFailed(Row, feed->XmlUrl, "unknown error");
  }
  view_.RowDetailChanged(Row, RecordSummary(state_->For(feed->XmlUrl), NowUnix()));
}

void TDownloadRun::FetchAndStore(int Row, TFeed& Feed) {
  const std::string url = Feed.XmlUrl;
  const std::string cacheFile = Feed.CacheFileName();
  THttpRequest request{url, "", ""};
  {
    // Conditional only while there is a document to keep.
    const TFetchRecord& record = state_->For(url);
    if (FileExists(cacheFile)) request = {url, record.ETag, record.LastModified};
  }
  TAnswer answer = FetchFollowingRedirects(url, request);
  const THttpResponse& response = answer.Response;
  const TUnixTime now = NowUnix();
  TFetchRecord* record = &state_->For(url);
  record->MovedTo = answer.Permanent && answer.FinalUrl != url ? answer.FinalUrl : "";

  const bool conditional = !request.IfNoneMatch.empty() || !request.IfModifiedSince.empty();
  if (response.Code == 304 && conditional) {
    // Nothing changed: the cache file, its backup and the read flags stay as they are.
    TakeValidators(*record, response, now);
    Succeeded(*record, now);
    SetStatus(Row, kStatusDone);
    return;
  }
  if (response.Code < 200 || response.Code > 299) {
    if (TUnixTime until = RetryAfterUntil(response, now)) record->WaitUntil = until;
    Fail(response.CodeAndPhrase());
  }
  if (answer.FinalUrl != url && answer.Permanent && IsFeedDocument(response.Body)) {
    MoveSubscription(Feed, answer.FinalUrl, *state_);
    record = &state_->For(Feed.XmlUrl);
  }
  StoreDownloadedText(Feed.CacheFileName(), response.Body);
  TakeValidators(*record, response, now);
  record->Encoding = DocumentEncoding(response.Body, response.Header("Content-Type"));
  SetStatus(Row, kStatusDone);
  Feed.ApplyDownload();
  Succeeded(*record, now);
  Feed.Changed();
  if (OnFeedApplied) OnFeedApplied(Feed);
}

TDownloadRun::TAnswer TDownloadRun::FetchFollowingRedirects(const std::string& Url,
                                                            const THttpRequest& First) {
  TAnswer answer{FetchOnce(First), Url, false};
  if (!IsRedirect(answer.Response.Code)) return answer;
  answer.Permanent = IsPermanentRedirect(answer.Response.Code);
  for (int hop = 1;; ++hop) {
    const std::string& next = answer.Response.RedirectUrl;
    if (next.empty()) Fail(answer.Response.CodeAndPhrase());
    if (answer.Permanent && hop == 1) state_->For(Url).MovedTo = next;
    if (!options_.FollowRedirects) Fail("moved to " + AddressWithoutPassword(next));
    const bool secure = StartsWith(answer.FinalUrl, "https://");
    if (!StartsWith(next, "https://") && (secure || !StartsWith(next, "http://")))
      Fail("moved to " + AddressWithoutPassword(next) + " (not followed)");
    if (hop > kMaxRedirects) Fail("too many redirects");
    answer.FinalUrl = next;
    // The validators belong to the document, wherever it now lives.
    answer.Response = FetchOnce({next, First.IfNoneMatch, First.IfModifiedSince});
    if (!IsRedirect(answer.Response.Code)) return answer;
  }
}

THttpResponse TDownloadRun::FetchOnce(const THttpRequest& Request) {
  transfer_ = TTransferLog{true, 0, 0, -1, 0, std::chrono::steady_clock::now()};
  struct TEnd {
    TDownloadRun& Run;
    ~TEnd() { Run.EndTransferLog(); }
  } end{*this};
  return client_->Fetch(Request);
}

void TDownloadRun::RowFailed(int Row, const std::string& Url, const std::string& Reason) {
  TFetchRecord& record = state_->For(Url);
  record.LastFailure = Reason;
  record.LastFailureTime = NowUnix();
  ++failedRows_;
  SetStatus(Row, kStatusError);
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

void TDownloadRun::SetStatus(int Row, const std::string& Status) {
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
