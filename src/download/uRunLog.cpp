#include "download/uRunLog.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "base/uFiles.h"
#include "model/uRSS_internal.h"

namespace skimbrook {

namespace {

std::string Stamped(const std::string& Text) {
  return LogTimeStamp(std::chrono::system_clock::now()) + "   " + Text;
}

}  // namespace

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

TRunLog::TRunLog(std::function<void(const std::string& Line)> LineAdded) : lineAdded_(std::move(LineAdded)) {}

void TRunLog::AddRow() {
  rows_.emplace_back();
}

void TRunLog::Add(const std::string& Text) {
  Append(Stamped(Text));
}

void TRunLog::AddRowLine(int Row, const std::string& Text) {
  std::string line = Stamped(Text);
  if (Row == first_)
    Append(std::move(line));
  else
    rows_[Row].Pending.push_back(std::move(line));
}

void TRunLog::BecameFirst(int Row) {
  first_ = Row;
  for (std::string& line : std::exchange(rows_[Row].Pending, {})) Append(std::move(line));
}

void TRunLog::TransferStarted(int Row) {
  rows_[Row].Transfer = TTransferLog{true, 0, 0, -1, 0, std::chrono::steady_clock::now()};
}

void TRunLog::ClientLine(int Row, const std::string& Text) {
  TTransferLog& transfer = rows_[Row].Transfer;
  if (transfer.Active && transfer.Lines >= kMaxClientLinesPerFeed) {
    ++transfer.Dropped;
    return;
  }
  if (transfer.Active) ++transfer.Lines;
  AddRowLine(Row, Text);
}

void TRunLog::Progress(int Row, std::int64_t Bytes) {
  TTransferLog& transfer = rows_[Row].Transfer;
  transfer.LatestBytes = Bytes;
  const auto now = std::chrono::steady_clock::now();
  if (transfer.Active &&
      (Bytes - transfer.LoggedBytes < kProgressLineBytes || now - transfer.LoggedAt < kProgressLineInterval))
    return;
  transfer.LoggedBytes = Bytes;
  transfer.LoggedAt = now;
  ClientLine(Row, "Progress: " + std::to_string(Bytes));
}

void TRunLog::TransferEnded(int Row) {
  TTransferLog ended = std::exchange(rows_[Row].Transfer, TTransferLog{});
  if (ended.Dropped > 0)
    AddRowLine(Row, "Log: " + std::to_string(ended.Dropped) + " lines of this feed left out");
  if (ended.LatestBytes >= 0 && ended.LatestBytes != ended.LoggedBytes)
    AddRowLine(Row, "Progress: " + std::to_string(ended.LatestBytes));
}

void TRunLog::Append(std::string Line) {
  lines_.push_back(std::move(Line));
  if (lineAdded_) lineAdded_(lines_.back());
}

void TRunLog::Write(const std::string& Path) const {
  WriteFileAtomic(Path, JoinLinesCRLF(lines_));
}

}  // namespace skimbrook
