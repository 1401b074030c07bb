// The log of a download run: lines stamped when they happen; the run's own lines join it
// at once, and each row's lines stay together in row order (a row's lines wait until every
// row before it is done). It also bounds what a transfer's events add to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skimbrook {

// How often the log takes a "Progress:" line of one transfer: only once this many more
// bytes have arrived and this much time has passed since the last one, whatever sizes the
// server's chunks have. The count at the end of the transfer is always logged.
inline constexpr std::int64_t kProgressLineBytes = 64 * 1024;
inline constexpr std::chrono::milliseconds kProgressLineInterval{100};
// The most lines the client's events add to the log for one feed; the lines after them
// are counted, and their number is logged when the feed's transfer has ended.
inline constexpr int kMaxClientLinesPerFeed = 200;

class TRunLog {
 public:
  // LineAdded hears every line as it joins the log.
  explicit TRunLog(std::function<void(const std::string& Line)> LineAdded);

  // A row was queued.
  void AddRow();
  // "yyyy-mm-dd hh:nn:ss:zzz   " + Text, a line of the run's own.
  void Add(const std::string& Text);
  // A line of Row's: into the log at once while every row before it is done, else kept.
  void AddRowLine(int Row, const std::string& Text);
  // Row is the first one not done: its kept lines join the log.
  void BecameFirst(int Row);

  // A transfer of Row starts: its client lines and progress are counted from here.
  void TransferStarted(int Row);
  // A line of the client's events for Row, counted against its transfer's limit.
  void ClientLine(int Row, const std::string& Text);
  void Progress(int Row, std::int64_t Bytes);
  // Logs what the limits held back of Row's transfer that has just ended.
  void TransferEnded(int Row);

  const std::vector<std::string>& Lines() const { return lines_; }
  // Writes the log to Path, each line followed by CR LF (an empty log gives an empty file).
  void Write(const std::string& Path) const;

 private:
  // What the log has taken of a transfer's events.
  struct TTransferLog {
    bool Active = false;
    int Lines = 0;    // client lines logged for the transfer
    int Dropped = 0;  // client lines left out beyond kMaxClientLinesPerFeed
    std::int64_t LatestBytes = -1;
    std::int64_t LoggedBytes = 0;
    std::chrono::steady_clock::time_point LoggedAt;
  };
  struct TRowLog {
    std::vector<std::string> Pending;  // its lines while a row before it is not done
    TTransferLog Transfer;
  };

  void Append(std::string Line);

  std::function<void(const std::string&)> lineAdded_;
  std::vector<std::string> lines_;
  std::vector<TRowLog> rows_;
  int first_ = 0;  // rows before it are done and their lines are in the log
};

// Time in the log's form "yyyy-mm-dd hh:nn:ss:zzz" (local time, 24-hour clock).
std::string LogTimeStamp(std::chrono::system_clock::time_point Time);

}  // namespace skimbrook
