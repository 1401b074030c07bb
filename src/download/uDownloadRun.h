// One download run: a queue of feeds fetched several at a time, each stored as the feed's
// new cache file and merged into the feed model in the queue's order, with a status per
// feed and a time-stamped log that keeps each feed's lines together. What HTTP tells about each feed
// (validators, waits, failures) is kept in the fetch state. The window shows it through TDownloadView.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "download/uFetchRules.h"
#include "download/uFetchState.h"
#include "download/uHttpClient.h"
#include "download/uRunLog.h"
#include "download/uTransferSlots.h"
#include "model/uRSS.h"

namespace skimbrook {

// The texts of a task row's status.
inline constexpr const char* kStatusDownloading = "downloading...";
inline constexpr const char* kStatusDone = "done";
inline constexpr const char* kStatusError = "error";
inline constexpr const char* kStatusStopped = "stopped";

// How a run fetches, set before it runs.
struct TRunOptions {
  TRunKind Kind = TRunKind::UserSeveral;
  std::string UserAgent = "Skimbrook/1.0";
  // Follow up to kMaxRedirects redirects (http and https, never from https to http); a
  // chain that starts with a permanent one moves the subscription.
  bool FollowRedirects = false;
  // Transfers at once (as many as the client can run side by side, at most); 1 fetches
  // one feed after another.
  int Simultaneous = 1;
  // Answers that wait for an earlier row's transfer are held in memory; beyond this many
  // bytes of them no row but the first one not done starts a transfer.
  std::uint64_t MaxHeldBytes = 128ull * 1024 * 1024;
};
inline constexpr int kMaxRedirects = 5;

// What a run tells its window.
class TDownloadView {
 public:
  virtual ~TDownloadView() = default;
  // A task row was appended at position Row, with an empty status.
  virtual void RowAdded(int Row, const std::string& Title, const std::string& XmlUrl) = 0;
  // Row's transfer has just started (of those at once, the latest): select it and keep it
  // in view.
  virtual void RowStarted(int Row) = 0;
  virtual void RowStatusChanged(int Row, const std::string& Status) = 0;
  // A line was appended to the log (time stamp included).
  virtual void LogLineAdded(const std::string& Line) = 0;
  // What the fetch state says about the row's feed now: its last failure and success.
  virtual void RowDetailChanged(int /*Row*/, const std::string& /*Detail*/) {}
  // Row ended in "error" for Reason ("404 Not Found", "not a feed", "cannot connect").
  virtual void RowReasonChanged(int /*Row*/, const std::string& /*Reason*/) {}
};

// Moves Feed to NewUrl (TFeed::MoveTo) and its fetch state record along.
void MoveSubscription(TFeed& Feed, const std::string& NewUrl, TFetchState& State);

class TDownloadRun {
 public:
  // The run owns Client (one per run, so its cookies are shared by the run's feeds and
  // dropped with it) and reports the client's status and progress events in its log.
  // View must outlive the run. What the run learns about each feed goes to State, which is
  // saved at the end of every run; without one it is kept only for the run.
  TDownloadRun(std::unique_ptr<HttpClient> Client, TDownloadView& View, TFetchState* State = nullptr);
  ~TDownloadRun();
  TDownloadRun(const TDownloadRun&) = delete;
  TDownloadRun& operator=(const TDownloadRun&) = delete;

  // Appends a task row for Feed. The run keeps Feed alive until it is destroyed, so a feed
  // taken out of the subscription list meanwhile is still safe to finish.
  void QueueFeed(std::shared_ptr<TFeed> Feed);
  // Sends the run's requests through Proxy when one is given and starts processing the
  // rows: up to Options().Simultaneous transfers at once (kMaxPerHost to one host), each
  // row's files and feed handled when it and every row before it have been fetched. A
  // row's failure marks only that row "error". Returns at once; the run advances as the
  // client reports its transfers, and OnFinished is called when every row is done, or after
  // Abort() once the transfers in progress have ended (perhaps before Start returns).
  // Throws std::logic_error when the run has already started.
  void Start(const std::optional<THttpProxy>& Proxy);
  // Start, then waits for the client's transfers until the run has finished: for clients
  // that are waited on (tests, tools), never for the program's own.
  void RunQueue(const std::optional<THttpProxy>& Proxy);
  // Ends the transfers in progress; the rows not yet done read "stopped", and the run
  // finishes once the transfers have ended.
  void Abort();
  // Between Start and the end of the run.
  bool Running() const { return inRun_; }
  // Called once when the run has finished. It must not destroy the run: it is called from
  // inside the run's and the client's own functions.
  std::function<void()> OnFinished;

  void SetOptions(TRunOptions Options) { options_ = std::move(Options); }
  const TRunOptions& Options() const { return options_; }
  TFetchState& FetchState() { return *state_; }
  // What the run learns goes to State from now on (set before RunQueue; State outlives
  // the run).
  void SetFetchState(TFetchState& State) { state_ = &State; }
  // Rows of this run that ended in "error".
  int FailedRows() const { return failedRows_; }

  // Drops the client with its cookies and open connections; the closing of those is still
  // logged. Nothing can be fetched afterwards.
  void CloseClient();

  // Appends "yyyy-mm-dd hh:nn:ss:zzz   " + Text to the log, in local time. A feed's own
  // lines are stamped when they happen and join the log as one group, after the groups of
  // the rows before it. Feed addresses
  // appear in it, and in the rows, without a password written in them.
  void AddLogLine(const std::string& Text);
  const std::vector<std::string>& LogLines() const { return log_.Lines(); }
  // Writes the log to Path, each line followed by CR LF (an empty log gives an empty file).
  void WriteLog(const std::string& Path) const;

  int RowCount() const { return static_cast<int>(rows_.size()); }
  const std::string& RowStatus(int Row) const { return rows_.at(Row).Status; }
  // Why the row ended in "error"; empty for any other row.
  const std::string& RowReason(int Row) const { return rows_.at(Row).Reason; }
  const std::shared_ptr<TFeed>& RowFeed(int Row) const { return rows_.at(Row).Feed; }

  // Called for each feed after it has been merged and its Changed() has fired; the main
  // window refills its item list when the feed is the current one.
  std::function<void(TFeed& Feed)> OnFeedApplied;

 private:
  // A row's requests so far: its first, and the redirects followed from it.
  struct TChain {
    THttpRequest First;    // conditional while there is a cached document to keep
    THttpRequest Current;  // sent, or to send when a transfer is free
    int Hops = 0;          // redirects followed
    // Where the chain's leading permanent hops (301, 308) point: the feed's new address.
    // Empty when the chain starts with a temporary one or has none.
    std::string MovedUrl;
    bool OnlyPermanent = true;  // every hop so far was permanent
  };

  // The answer that ends a row's chain of redirects.
  struct TAnswer {
    THttpResponse Response;
    bool Conditional = false;  // asked with validators
    std::string MovedUrl;      // as in TChain
  };

  // Why a row failed, and the HTTP status of its last answer (0 when it had none).
  struct TFailure {
    std::string Reason;
    long HttpCode = 0;
    std::string MovedUrl;  // as in TChain, for a failure before any file work
  };

  // Where a row is in the run, each stage with what only it needs.
  struct TNotReached {};
  struct TQueued {  // its next request waits for a free transfer
    TChain Chain;
  };
  struct TFetching {  // a transfer of it is running
    TChain Chain;
    std::string Host;
  };
  struct TFetched {  // its answer or failure waits for the rows before it
    std::variant<TAnswer, TFailure> Result;
  };
  struct TDone {};
  using TRowState = std::variant<TNotReached, TQueued, TFetching, TFetched, TDone>;

  // Whether the row's first request has gone out: a queued row has then followed a
  // redirect.
  static bool HasStarted(const TRowState& State);

  struct TRow {
    std::shared_ptr<TFeed> Feed;
    std::string Status;
    std::string Reason;  // of its failure
    std::string Url;     // the feed's address when the row was reached
    TRowState State;
  };

  // Starts what the limits allow, in row order.
  void StartTransfers();
  // Skips the row, or queues its first request.
  void Reach(int Row);
  void StartTransfer(int Row);
  // The row's first request goes out: its log opens and the view follows it.
  void ShowRowStarted(int Row);
  void TransferEnded(int Row, THttpOutcome Outcome);
  // After an answer: the next hop of a redirect, or what the row's fetching ended in.
  TRowState FollowOrEnd(TChain Chain, THttpResponse Response) const;
  // Starts what can start and gives every fetched row its file work, in row order, until
  // nothing changes; ends the run when every row is done.
  void Advance();
  void End();
  // Steps the rows from the first one not done: each fetched row gets its file work.
  void FinishFetchedRows();
  void FinishRow(int Row);
  // The file work of the row's answer; its failure, if any. What the files or the model
  // throw (a full disk, a document the reader gives up on) becomes the failure too.
  std::optional<TFailure> WorkOnAnswer(int Row, TFeed& Feed, const TAnswer& Answer);
  // A failure before any file work: the fetch state keeps where the feed has moved.
  TFailure RecordFetchFailure(int Row, TFailure Failure);
  // Stores the row's answer and merges it into Feed; the reason when the answer cannot
  // become the feed's items (an HTTP error, a body that is no feed), else nothing.
  std::optional<std::string> ApplyAnswer(int Row, TFeed& Feed, const TAnswer& Answer);
  // The run was stopped: waits for the transfers to end and marks every row not done.
  void StopRows();
  // The row's feed ended in Failure: its status, its reason, the fetch state's record of
  // Url and a log line with the HTTP status of the last answer.
  void RowFailed(int Row, const std::string& Url, const TFailure& Failure);
  void SetStatus(int Row, const std::string& Status);

  std::unique_ptr<HttpClient> client_;
  TDownloadView& view_;
  std::unique_ptr<TFetchState> ownState_;  // when the caller gave none
  TFetchState* state_;
  TRunOptions options_;
  int failedRows_ = 0;
  std::vector<TRow> rows_;
  TRunLog log_;
  int firstNotDone_ = 0;  // rows before it are done and their lines are in the log
  TTransferSlots slots_;
  bool aborted_ = false;
  bool inRun_ = false;
  bool advancing_ = false;
};

// ---------------------------------------------------------------------------------------
// The pieces of a run, open for tests.

// Calls Line with each line of a downloaded text, as a view into Text: CR, LF and CR LF
// each end a line, a last line without an end counts, and a NUL byte ends the text.
// Nothing is copied or allocated, whatever the number of lines.
template <class TLine>
void ForEachDownloadedLine(std::string_view Text, TLine&& Line) {
  Text = Text.substr(0, Text.find('\0'));
  size_t start = 0;
  while (start < Text.size()) {
    size_t end = Text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      Line(Text.substr(start));
      return;
    }
    Line(Text.substr(start, end - start));
    start = end + (Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n' ? 2 : 1);
  }
}

// Stores a downloaded text as CacheFile: an existing cache file is first kept as
// CacheFile + ".bak" unless a backup is already there (which is then kept as it is), and
// the text's lines are written with CR LF line ends, straight from Text to the file. The
// backup is a second name of the old file where the file system allows, so the cache file
// is there at every moment. When the write fails the old file stays the cache file, so the
// feed keeps showing its items, and the error is thrown.
void StoreDownloadedText(const std::string& CacheFile, std::string_view Text);

// A downloaded text as StoreDownloadedText writes it: each line ended by CR LF, up to a
// NUL byte.
std::string StoredForm(std::string_view Text);

}  // namespace skimbrook
