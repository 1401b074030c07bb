#include "download/uDownloadRun.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "base/uFiles.h"

namespace skimbrook {

namespace {

bool IsRedirect(long Code) {
  return Code == 301 || Code == 302 || Code == 303 || Code == 307 || Code == 308;
}

bool IsPermanentRedirect(long Code) {
  return Code == 301 || Code == 308;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

// The reasons kept for a body that cannot become a feed's cache file.
const char* const kHoldsNul = "holds a NUL byte";
const char* const kNotAFeed = "not a feed";

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
  Feed.MoveTo(NewUrl);
  State.Rename(oldUrl, NewUrl);
  State.For(NewUrl).MovedTo.clear();
}

void StoreDownloadedText(const std::string& CacheFile, std::string_view Text) {
  const std::string backup = CacheFile + ".bak";
  // An existing backup still holds read flags that a failed merge did not carry over, so
  // it is never replaced; the current cache file is then simply overwritten.
  bool linked = false;
  bool movedAside = false;
  if (FileExists(CacheFile) && !FileExists(backup)) {
    linked = ::link(CacheFile.c_str(), backup.c_str()) == 0;
    // A file system without hard links: the old file is moved aside instead.
    if (!linked && errno != EEXIST) movedAside = RenameUnlessTargetExists(CacheFile, backup);
  }
  try {
    WriteFileAtomicFrom(CacheFile, [Text](TFileSink& Sink) {
      ForEachDownloadedLine(Text, [&Sink](std::string_view Line) {
        Sink.Write(Line);
        Sink.Write("\r\n");
      });
    });
  } catch (...) {
    if (linked) ::unlink(backup.c_str());
    if (movedAside) std::rename(backup.c_str(), CacheFile.c_str());
    throw;
  }
}

std::string StoredForm(std::string_view Text) {
  std::string stored;
  stored.reserve(Text.size() + Text.size() / 32);
  ForEachDownloadedLine(Text, [&stored](std::string_view Line) {
    stored += Line;
    stored += "\r\n";
  });
  return stored;
}

// ---------------------------------------------------------------------------------------
// The run

TDownloadRun::TDownloadRun(std::unique_ptr<HttpClient> Client, TDownloadView& View, TFetchState* State)
    : client_(std::move(Client)),
      view_(View),
      state_(State),
      log_([&View](const std::string& Line) { View.LogLineAdded(Line); }) {
  if (!state_) {
    ownState_ = std::make_unique<TFetchState>("");
    state_ = ownState_.get();
  }
  // What the client tells outside a transfer: connections that close after theirs.
  client_->OnStatus = [this](const std::string& Text) { AddLogLine("Status: " + Text); };
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
  rows_.emplace_back();
  log_.AddRow();
  rows_.back().Feed = std::move(Feed);
  const TFeed& feed = *rows_.back().Feed;
  view_.RowAdded(RowCount() - 1, feed.Title, AddressWithoutPassword(feed.XmlUrl));
  // A row queued while the run goes is fetched by it too.
  Advance();
}

void TDownloadRun::Start(const std::optional<THttpProxy>& Proxy) {
  if (!client_) throw std::logic_error("download run: the client is closed");
  if (inRun_) throw std::logic_error("download run: already running");
  inRun_ = true;
  if (Proxy) client_->SetProxy(*Proxy);
  client_->UserAgent = options_.UserAgent;
  Advance();
}

void TDownloadRun::RunQueue(const std::optional<THttpProxy>& Proxy) {
  Start(Proxy);
  while (inRun_) {
    // The first row not done is running, so a transfer is in progress to wait for.
    if (slots_.Running() == 0) throw std::logic_error("download run: nothing to wait for");
    client_->WaitForTransfers();
  }
}

void TDownloadRun::Advance() {
  // A transfer that fails inside Start ends at once and comes back here: the outer call
  // goes on with what it changed.
  if (!inRun_ || advancing_) return;
  advancing_ = true;
  for (;;) {
    const int doneBefore = firstNotDone_, runningBefore = slots_.Running();
    // The file work of what has arrived first, as a user may read a feed before the next
    // transfer starts.
    if (!aborted_) FinishFetchedRows();
    if (!aborted_) StartTransfers();
    // Rows skipped on the way are done at once.
    if (!aborted_) FinishFetchedRows();
    if (firstNotDone_ == doneBefore && slots_.Running() == runningBefore) break;
  }
  advancing_ = false;
  // Stopped: once the transfers in progress have ended, every row not done reads "stopped".
  if (aborted_ && slots_.Running() == 0) StopRows();
  if (firstNotDone_ >= RowCount() && slots_.Running() == 0) End();
}

void TDownloadRun::End() {
  inRun_ = false;
  // Written once the rows are done, stopped or not: it holds what this run learnt.
  if (!state_->Path().empty()) state_->Save();
  if (OnFinished) OnFinished();
}

void TDownloadRun::Abort() {
  aborted_ = true;
  if (client_) client_->Abort();
  // A run with no transfer in progress stops at once.
  Advance();
}

// ---------------------------------------------------------------------------------------
// Starting transfers

void TDownloadRun::StartTransfers() {
  slots_.SetLimits(std::min(options_.Simultaneous, std::max(1, client_->MaxSimultaneous())),
                   options_.MaxHeldBytes);
  for (int row = firstNotDone_; row < RowCount() && !slots_.Full() && !aborted_; ++row) {
    if (std::holds_alternative<TNotReached>(rows_[row].State)) Reach(row);
    const auto* queued = std::get_if<TQueued>(&rows_[row].State);
    if (queued && slots_.CanStart(HostKey(queued->Chain.Current.Url), row == firstNotDone_))
      StartTransfer(row);
  }
}

void TDownloadRun::Reach(int Row) {
  TRow& row = rows_[Row];
  row.Url = row.Feed->XmlUrl;
  // A skipped row touches no file and sends nothing.
  if (std::string skip = SkipStatus(state_->For(row.Url), options_.Kind, NowUnix()); !skip.empty()) {
    row.State = TDone{};
    SetStatus(Row, skip);
    return;
  }
  // Conditional only while there is a document to keep.
  const TFetchRecord& record = state_->For(row.Url);
  row.Feed->AdoptOldCacheFile();
  TChain chain;
  chain.First = {row.Url, "", ""};
  if (FileExists(row.Feed->CacheFileName())) chain.First = {row.Url, record.ETag, record.LastModified};
  chain.Current = chain.First;
  row.State = TQueued{std::move(chain)};
}

void TDownloadRun::StartTransfer(int Row) {
  // Only the row's first request opens it; a later one follows a redirect.
  if (!HasStarted(rows_[Row].State)) ShowRowStarted(Row);
  TChain chain = std::move(std::get<TQueued>(rows_[Row].State).Chain);
  // Kept apart from the row: a client that fetches inside Start runs the event loop, in
  // which rows may be queued and rows_ grow.
  const THttpRequest request = chain.Current;
  const std::string host = HostKey(request.Url);
  rows_[Row].State = TFetching{std::move(chain), host};
  slots_.Started(host);
  log_.TransferStarted(Row);
  THttpTransferEvents events{
      [this, Row](const std::string& Text) { log_.ClientLine(Row, "Status: " + Text); },
      [this, Row](std::int64_t Bytes) { log_.Progress(Row, Bytes); },
      [this, Row](THttpOutcome Outcome) { TransferEnded(Row, std::move(Outcome)); }};
  try {
    client_->Start(request, std::move(events));
  } catch (const std::exception& error) {
    TransferEnded(Row, {std::nullopt, error.what()});
  }
}

void TDownloadRun::ShowRowStarted(int Row) {
  log_.AddRowLine(Row, "Downloading " + AddressWithoutPassword(rows_[Row].Url));
  view_.RowStarted(Row);
  SetStatus(Row, kStatusDownloading);
}

void TDownloadRun::TransferEnded(int Row, THttpOutcome Outcome) {
  TFetching fetching = std::get<TFetching>(std::move(rows_[Row].State));
  slots_.Ended(fetching.Host);
  log_.TransferEnded(Row);
  TRowState next = Outcome.Response ? FollowOrEnd(std::move(fetching.Chain), std::move(*Outcome.Response))
                                    : TFetched{TFailure{Outcome.Failure, 0, fetching.Chain.MovedUrl}};
  // An answer waiting for the rows before it counts against the held-bytes bound.
  if (const auto* fetched = std::get_if<TFetched>(&next))
    if (const auto* answer = std::get_if<TAnswer>(&fetched->Result))
      slots_.Hold(answer->Response.Body.size());
  rows_[Row].State = std::move(next);
  Advance();
}

TDownloadRun::TRowState TDownloadRun::FollowOrEnd(TChain Chain, THttpResponse Response) const {
  if (!IsRedirect(Response.Code)) {
    const bool conditional = !Chain.First.IfNoneMatch.empty() || !Chain.First.IfModifiedSince.empty();
    return TFetched{TAnswer{std::move(Response), conditional, Chain.MovedUrl}};
  }
  const std::string next = Response.RedirectUrl;
  auto fail = [&](std::string Reason) -> TRowState {
    return TFetched{TFailure{std::move(Reason), Response.Code, Chain.MovedUrl}};
  };
  if (next.empty()) return fail(Response.CodeAndPhrase());
  // The subscription moves only as far as the permanent hops go: a temporary hop after
  // them names a place the feed may leave again.
  Chain.OnlyPermanent = Chain.OnlyPermanent && IsPermanentRedirect(Response.Code);
  if (Chain.OnlyPermanent) Chain.MovedUrl = next;
  if (!options_.FollowRedirects) return fail("moved to " + AddressWithoutPassword(next));
  const bool secure = StartsWith(Chain.Current.Url, "https://");
  if (!StartsWith(next, "https://") && (secure || !StartsWith(next, "http://")))
    return fail("moved to " + AddressWithoutPassword(next) + " (not followed)");
  if (++Chain.Hops > kMaxRedirects) return fail("too many redirects");
  // The validators belong to the document, wherever it now lives.
  Chain.Current = {next, Chain.First.IfNoneMatch, Chain.First.IfModifiedSince};
  return TQueued{std::move(Chain)};
}

// ---------------------------------------------------------------------------------------
// The rows' file work, in row order

void TDownloadRun::FinishFetchedRows() {
  while (firstNotDone_ < RowCount() && !aborted_) {
    if (std::holds_alternative<TFetched>(rows_[firstNotDone_].State)) FinishRow(firstNotDone_);
    if (!std::holds_alternative<TDone>(rows_[firstNotDone_].State)) return;
    if (++firstNotDone_ < RowCount()) log_.BecameFirst(firstNotDone_);
  }
}

void TDownloadRun::FinishRow(int Row) {
  // Held here as well, so that the row's feed outlives this row even if the queue grows.
  std::shared_ptr<TFeed> feed = rows_[Row].Feed;
  TFetched fetched = std::get<TFetched>(std::exchange(rows_[Row].State, TDone{}));
  std::optional<TFailure> failure;
  if (auto* answer = std::get_if<TAnswer>(&fetched.Result))
    failure = WorkOnAnswer(Row, *feed, *answer);
  else
    failure = RecordFetchFailure(Row, std::get<TFailure>(std::move(fetched.Result)));
  // Every failure of a row ends in its status, its reason (in the row, the fetch state and
  // the log) and nothing else.
  if (failure) {
    if (aborted_)
      SetStatus(Row, kStatusStopped);
    else
      RowFailed(Row, feed->XmlUrl, *failure);
  }
  view_.RowDetailChanged(Row, RecordSummary(state_->For(feed->XmlUrl), NowUnix()));
}

std::optional<TDownloadRun::TFailure> TDownloadRun::WorkOnAnswer(int Row, TFeed& Feed,
                                                                 const TAnswer& Answer) {
  slots_.Release(Answer.Response.Body.size());
  std::optional<std::string> reason;
  try {
    reason = ApplyAnswer(Row, Feed, Answer);
  } catch (const std::exception& error) {
    reason = error.what();
  } catch (...) {
    reason = "unknown error";
  }
  if (!reason) return std::nullopt;
  return TFailure{std::move(*reason), Answer.Response.Code, {}};
}

TDownloadRun::TFailure TDownloadRun::RecordFetchFailure(int Row, TFailure Failure) {
  if (!Failure.MovedUrl.empty()) state_->For(rows_[Row].Url).MovedTo = Failure.MovedUrl;
  return Failure;
}

std::optional<std::string> TDownloadRun::ApplyAnswer(int Row, TFeed& Feed, const TAnswer& Answer) {
  const std::string url = rows_[Row].Url;
  const THttpResponse& response = Answer.Response;
  const TUnixTime now = NowUnix();
  TFetchRecord* record = &state_->For(url);
  const bool moved = !Answer.MovedUrl.empty() && Answer.MovedUrl != url;
  record->MovedTo = moved ? Answer.MovedUrl : "";

  if (response.Code == 304 && Answer.Conditional) {
    // Nothing changed: the cache file, its backup and the read flags stay as they are.
    TakeValidators(*record, response, now);
    Succeeded(*record, now);
    SetStatus(Row, kStatusDone);
    return std::nullopt;
  }
  if (response.Code < 200 || response.Code > 299) {
    if (TUnixTime until = RetryAfterUntil(response, now)) record->WaitUntil = until;
    return response.CodeAndPhrase();
  }
  // Only a document that reads as a feed replaces the cache file; anything else leaves the
  // cache file, its backup and every read flag as they were. The document is read once, in
  // the form in which it is stored.
  if (response.Body.find('\0') != std::string::npos) return std::string(kHoldsNul);
  const std::string stored = StoredForm(response.Body);
  std::unique_ptr<TFeed> parsed = Feed.ReadDownloaded(stored);
  if (!parsed) return std::string(kNotAFeed);
  if (moved && Feed.Owner && Feed.Owner->OtherWithAddress(Feed, Answer.MovedUrl)) {
    // Another entry has the new address already: this one keeps its own, and Feed Info
    // still tells where the feed has gone.
    log_.AddRowLine(Row, AddressWithoutPassword(url) + " moved to " +
                             AddressWithoutPassword(Answer.MovedUrl) +
                             ", which another entry already has; the entry keeps its address");
  } else if (moved) {
    MoveSubscription(Feed, Answer.MovedUrl, *state_);
    record = &state_->For(Feed.XmlUrl);
    log_.AddRowLine(Row, AddressWithoutPassword(url) + " moved to " + AddressWithoutPassword(Feed.XmlUrl));
  }
  Feed.AdoptOldCacheFile();
  StoreDownloadedText(Feed.CacheFileName(), stored);
  TakeValidators(*record, response, now);
  record->Encoding = DocumentEncoding(response.Body, response.Header("Content-Type"));
  SetStatus(Row, kStatusDone);
  Feed.ApplyDownload(std::move(*parsed));
  Succeeded(*record, now);
  Feed.Changed();
  if (OnFeedApplied) OnFeedApplied(Feed);
  return std::nullopt;
}

bool TDownloadRun::HasStarted(const TRowState& State) {
  if (const auto* queued = std::get_if<TQueued>(&State)) return queued->Chain.Hops > 0;
  return std::holds_alternative<TFetching>(State) || std::holds_alternative<TFetched>(State);
}

void TDownloadRun::StopRows() {
  // Every transfer has ended: every row not done reads "stopped", its lines joining the
  // log in row order.
  for (int row = firstNotDone_; row < RowCount(); ++row) {
    log_.BecameFirst(row);
    if (std::holds_alternative<TDone>(rows_[row].State)) continue;
    const bool started = HasStarted(rows_[row].State);
    rows_[row].State = TDone{};
    SetStatus(row, kStatusStopped);
    if (started) view_.RowDetailChanged(row, RecordSummary(state_->For(rows_[row].Url), NowUnix()));
  }
  firstNotDone_ = RowCount();
  slots_.ReleaseAll();
}

void TDownloadRun::RowFailed(int Row, const std::string& Url, const TFailure& Failure) {
  TFetchRecord& record = state_->For(Url);
  record.LastFailure = Failure.Reason;
  record.LastFailureTime = NowUnix();
  ++failedRows_;
  rows_[Row].Reason = Failure.Reason;
  const std::string status = Failure.HttpCode > 0 ? "HTTP status " + std::to_string(Failure.HttpCode)
                                                  : std::string("no HTTP status");
  // The reason may quote an address (a redirect's target, the client's own error text).
  log_.AddRowLine(Row, AddressWithoutPassword("Failed: " + Failure.Reason + " (" + status + ")"));
  SetStatus(Row, kStatusError);
  view_.RowReasonChanged(Row, Failure.Reason);
}

// ---------------------------------------------------------------------------------------
// The log

void TDownloadRun::SetStatus(int Row, const std::string& Status) {
  rows_[Row].Status = Status;
  view_.RowStatusChanged(Row, Status);
}

void TDownloadRun::AddLogLine(const std::string& Text) {
  log_.Add(Text);
}

void TDownloadRun::WriteLog(const std::string& Path) const {
  log_.Write(Path);
}

}  // namespace skimbrook
