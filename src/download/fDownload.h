// The download window: a small tool window with the task list (one row per queued feed
// and its status) and the run's time-stamped log, switched by a tab strip at the bottom.
// It is the run the main window starts: a command creates it, queues feeds, starts it and
// destroys it when it has finished.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "download/uDownloadRun.h"
#include "download/uDownloader.h"

class QCloseEvent;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTreeWidget;

namespace skimbrook {

class TfmDownload : public QWidget, public TDownloader, private TDownloadView {
  Q_OBJECT

 public:
  // The window with its components, not shown, no rows; it fetches with the program's
  // HTTP client, through Proxy when one is given.
  TfmDownload(std::optional<THttpProxy> Proxy, QWidget* MainWindow);
  // The same, fetching with Client instead (tests).
  TfmDownload(std::optional<THttpProxy> Proxy, QWidget* MainWindow, std::unique_ptr<HttpClient> Client);
  // Closes the client's connections and writes the log to "download.log" in the current
  // directory (also when it is empty). A failure to write it is reported on standard
  // error, since a destructor cannot throw.
  ~TfmDownload() override;

  // Appends a task row for Feed (title, XML URL, empty status and reason). Only feeds with an XML URL
  // belong here; the window keeps Feed alive until it is destroyed.
  void QueueFeed(std::shared_ptr<TFeed> Feed) override;
  // Shows the window (not modal) and starts fetching and storing the queued feeds (several
  // at once, as the run's options say); returns at once. OnFinished is called when all
  // rows are done; it must not destroy the window.
  void Start() override;
  // Start, then waits for the client until the run has finished: for clients that are
  // waited on (tests), never for the program's own.
  void RunQueue();
  // Stops the transfers in progress; the rows not yet done read "stopped" and the run
  // finishes. The "Stop" button, and the main window's closing during a run.
  void Abort() override;
  bool Running() const { return run_->Running(); }
  // How the run fetches; set before it starts.
  void SetOptions(TRunOptions Options) { run_->SetOptions(std::move(Options)); }
  void SetKind(TRunKind Kind) override;
  // Call before queueing: the task rows show titles in each feed's encoding.
  void SetFetchState(TFetchState& State) override {
    state_ = &State;
    run_->SetFetchState(State);
  }
  // Rows of the run that ended in "error".
  int FailedRows() const override { return run_->FailedRows(); }
  // Appends a time-stamped line to the log.
  void AddLogLine(const std::string& Text);

  // The run behind the window (its rows and log lines), for tests.
  const TDownloadRun& Run() const { return *run_; }

  QTreeWidget* ListView;    // the task rows: "Feed Title", "XML URL", "Status", "Reason"
  QPlainTextEdit* Memo;     // the log
  QTabBar* TabSet;          // "Tasks" and "Log"
  QPushButton* StopButton;  // "Stop": abandons the run

 protected:
  // The window has no close box; a close request from the window manager is ignored too,
  // since the command that created the window destroys it.
  void closeEvent(QCloseEvent* Event) override;

 private:
  void TabSetChange(int Index);
  void CentreOn(QWidget* MainWindow);

  void RowAdded(int Row, const std::string& Title, const std::string& XmlUrl) override;
  void RowStarted(int Row) override;
  void RowStatusChanged(int Row, const std::string& Status) override;
  void LogLineAdded(const std::string& Line) override;
  void RowDetailChanged(int Row, const std::string& Detail) override;
  void RowReasonChanged(int Row, const std::string& Reason) override;

  std::optional<THttpProxy> proxy_;
  std::unique_ptr<TDownloadRun> run_;
  TFetchState* state_ = nullptr;
};

}  // namespace skimbrook
