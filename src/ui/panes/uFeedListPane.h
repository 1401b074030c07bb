// The feed list pane: one row per entry of the subscription list, the current entry, and
// the commands on entries that are about the list (add, remove, reorder, catch up).
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "download/uFetchState.h"
#include "ui/dialogs/fFeedInfo.h"
#include "ui/dialogs/uAddFeedDiscovery.h"

class QMainWindow;
class QPoint;
class QWidget;

namespace skimbrook {

class TFeed;
class TFeedListBox;
class TFeedRows;
class TPaneHost;

namespace test {
struct MainWindowAccess;
}

class TFeedListPane : public QObject {
  Q_OBJECT

 public:
  // What the pane opens outside itself; the window's services.
  struct TDialogs {
    // Feed Info: what the user chose ("Use the new address" of a feed that has moved, or
    // an edited title or address).
    std::function<TFeedInfoAnswer(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent,
                                  bool StartEditing)>
        ShowFeedInfo;
    // Fetches a typed address for Add Feed; empty means over HTTP with the program's proxy.
    TPageFetch FetchPage;
  };

  // Builds the list box inside Parent; Window is the main window the pane sits in.
  TFeedListPane(TPaneHost& Host, QMainWindow& Window, QWidget* Parent, TDialogs Dialogs);

  // The list box, for the window's layout.
  QWidget* Widget() const;
  // Connects the list box's events; once the window is built.
  void Connect();
  // The entry whose details the right-hand panes show (a feed or a group heading), or none.
  const std::shared_ptr<TFeed>& CurrentFeed() const { return currentFeed_; }
  // The selected row, or -1.
  int SelectedRow() const;
  int Width() const;
  void SetVisible(bool Visible);
  // Gives the list the keyboard focus.
  void Focus();
  // Redraws the rows (their text is cut to the pane's width).
  void Repaint();

  // Reads default.opml, rebuilds every row, makes the first entry current and, unless
  // WriteBack is false (the caller then writes it itself), writes the file back.
  void LoadFeedList(bool WriteBack = true);
  // The observer of every entry: row Index is drawn again.
  void UpdateFeedRow(int Index, TFeed& Feed);
  // Every row is drawn again (the fetch state changed, which the entries do not tell).
  void UpdateAllRows();
  // Puts Feed into the list at Row (Count() appends) with its row, hooked and drawn.
  void InsertFeedRow(int Row, const std::shared_ptr<TFeed>& Feed);
  // The selected row's entry becomes the current feed; its items are shown when the
  // posted refill runs.
  void lbFeedListClick();
  // Selects Row and makes its entry current, as a click on it does.
  void OpenRow(int Row);
  // Moves the selected row to the row at Position, or to the end below the last row.
  void lbFeedListDragDrop(const QPoint& Position);
  // Subscribes to the address Asked names (see SubscriptionAddress), selects it and offers
  // to download it now. An address already in the list (SameFeedAddress) is not added
  // again: its entry is selected and the status bar says so. Throws std::runtime_error with
  // the reason when Asked names no address the list takes; nothing is added then.
  void AddFeed(const std::string& Asked);

  // ---- Commands ----
  // The pane's commands, made with it and named by their handlers' names less "Click":
  // miFileAddFeed, miFileAddGroup, miFileRemoveFeed, miFileFeedInfo, miToolsCatchUpFeed,
  // miToolsCatchUpGroup, miToolsCatchUpAll.
  // Asks for an address (a web page's own feeds are offered) and subscribes to it.
  void miFileAddFeedClick();
  void miFileAddGroupClick();
  void miFileRemoveFeedClick();
  // Feed Info of the current feed; its "Use the new address" moves the subscription, and
  // its Edit renames the entry or moves the subscription to a typed address.
  void miFileFeedInfoClick();
  // Feed Info with its fields open for editing at once (miFileEditFeed).
  void miFileEditFeedClick();
  void miToolsCatchUpFeedClick();
  void miToolsCatchUpGroupClick();
  void miToolsCatchUpAllClick();
  // Marks every item of the current feed read; FocusList gives the feed list the focus.
  void CatchUpCurrentFeed(bool FocusList);

 signals:
  // The current entry changed: the item list shows its items again.
  void CurrentFeedChanged();
  // A row's unread count may have changed (the tray's hint counts them all).
  void CountsChanged();
  // The list is about to be read again: nothing may keep its items.
  void ItemsToBeReplaced();
  // The current feed is to be downloaded now (a new subscription, a new address).
  void DownloadCurrentFeedWanted();

 private:
  friend struct test::MainWindowAccess;

  void BuildCommands();
  void ShowCurrentFeedInfo(bool StartEditing);
  void SelectFeedRow(int Row);
  // When Url is already subscribed: selects its entry as the user's click would (an entry
  // already current is left as it is), says so in the status bar and returns true.
  bool SelectSubscribed(const std::string& Url);
  void HookFeed(TFeed& Feed);
  void FocusFeedListIfVisible();
  void CatchUpFeed(TFeed& Feed);
  void ReportDamagedSubscriptionFile();
  // Applies what the user edited in Feed Info of Feed, whose address was ShownUrl then.
  void ApplyFeedEdit(const std::shared_ptr<TFeed>& Feed, const std::string& ShownUrl,
                     const TFeedInfoAnswer& Answer);
  // Feed's subscription moves to the address the user typed, with its cache file, read
  // flags and fetch state; true when it moved.
  bool MoveToTypedAddress(TFeed& Feed, const std::string& Url);
  // When an entry other than Feed has Url: says so ("... already has the address ...")
  // and returns true.
  bool RefuseTakenAddress(const TFeed& Feed, const std::string& Url);

  TPaneHost& host_;
  QMainWindow& window_;
  TDialogs dialogs_;
  TFeedListBox* lbFeedList = nullptr;
  TFeedRows* rows_ = nullptr;  // the box's rows, owned by the box
  std::shared_ptr<TFeed> currentFeed_;
};

}  // namespace skimbrook
