// The item pane: the right-hand side of the reader view. Above, the current feed's heading
// panels and its item list; below, the current item's heading panels and its page in the
// browser. It owns the current item and marks it read once its page has been seen a second.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/uItemStore.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QSplitter;
class QTimer;
class QUrl;
class QWidget;

namespace skimbrook {

class TCaptionPanel;
class TFeed;
class TFeedItem;
class TPaneHost;
class TWebBrowser;

namespace test {
struct MainWindowAccess;
}

class TItemPane : public QObject {
  Q_OBJECT

 public:
  // Builds the pane inside Parent, its browser made by CreateBrowser; Window is the main
  // window the pane sits in.
  TItemPane(TPaneHost& Host, QMainWindow& Window, QWidget* Parent,
            const std::function<TWebBrowser*(QWidget* Parent)>& CreateBrowser);

  // The whole pane, for the window's layout.
  QWidget* Widget() const { return plRight; }
  // The content page's browser, which browser mode drives too.
  TWebBrowser& Browser() const { return *WebBrowser; }
  // Connects the lists' and panels' events; once the window is built.
  void Connect();
  // The item shown in the content page, always one of the current feed's, or none.
  const std::shared_ptr<TFeedItem>& CurrentItem() const { return currentItem_; }

  // ---- Layout ----
  // Shows the item contents (upper half the pane's height) or hides them (the upper half
  // fills the pane).
  void ApplyContentsLayout(bool Shown);
  // Applies a half-height layout that was asked for before the window was laid out.
  void ApplyPendingLayout();
  // Height of the feed's half, for the stored form.
  int TopHeight() const;
  void SetTopHeight(int Height);
  // Browser mode: only the browser shows. Off: the reader view's panels come back (the
  // halves' sizes are ApplyContentsLayout's).
  void ShowBrowserOnly(bool BrowserOnly);
  void FocusItems();

  // ---- Items ----
  // View > "Sort by Date": ticked, the item list shows the newest items first; else the
  // feed's document order. The window places it in its menu.
  QAction* SortByDateAction() const { return miViewSortByDate; }
  bool NewestFirst() const;
  void SetNewestFirst(bool NewestFirst);
  // Tools > "Mark as Unread" (miToolsMarkAsUnread): the current item becomes unread and
  // stays so while it is shown; the mark-as-read count waits for the next selection.
  void miToolsMarkAsUnreadClick();
  // "Copy Link" of the item list's menu (miItemCopyLink): the current item's link, as the
  // panel shows it, to the clipboard.
  void miItemCopyLinkClick();
  // Selects the first unread line after the current one (from the top when From is -1);
  // false when there is none below.
  bool SelectUnreadAfter(int Row);
  // The selected line, or -1.
  int CurrentRow() const;
  // The next refill selects the first unread line instead of the first line.
  void SelectFirstUnreadOnNextFill() { firstUnreadOnFill_ = true; }
  // The next refill selects the item of this identity (see ItemIdentity) when it is there.
  void SelectItemOnNextFill(std::string Identity) { itemOnFill_ = std::move(Identity); }
  // Shows the current feed's items (loading them first when needed) and selects the first.
  void FillItemList();
  // Drops the current item, stops the mark-as-read timer and unhooks the item list.
  void ReleaseItemList();
  // The model's observer of the current feed's items: rewrites line Index.
  void ItemLineChanged(int Index, TFeedItem& Item);
  // The selected line's item becomes current; an unread one arms the mark-as-read timer.
  void lbItemsClick();
  // Fills the five heading panels and writes the current item's page.
  void UpdateFeedAndItemView();
  void plFeedLinkClick();
  void plItemLinkClick();

  // ---- Marking read ----
  // Marks the current item read, if its page is still on screen.
  void MarkAsReadTimerTimer();
  // A fresh one-second count for the current item when it is unread and on screen.
  void ArmMarkAsRead();
  void StopMarkAsRead();
  // Arms the count again unless it is running (a window restored from minimised).
  void ResumeMarkAsRead();

  // ---- Older items, stars and search (the item store) ----
  // View > "Show Older Items" (miViewShowOlderItems, ticked): below the feed's items, newest
  // first and greyed, the items that have left its document.
  void miViewShowOlderItemsClick();
  // View > "Starred Items" (miViewStarredItems, ticked while shown): every starred item of
  // every feed in place of the feed's items.
  void miViewStarredItemsClick();
  // View > "Find Items..." (miViewFindItems): the search field above the item list.
  void miViewFindItemsClick();
  // Tools > "Star Item" (miToolsStarItem): stars the current item, or takes its star away.
  void miToolsStarItemClick();
  // The current feed's items again, in place of the starred items or the search results.
  void ShowFeedItems();
  // Leaves the starred items or the search results without filling the list (another
  // feed became current, and its refill is on its way).
  void LeaveStoredLists();
  // The feed heading's count of the current feed's older unread items.
  void UpdateOlderCount();
  // View > "Show Older Items" ticked or not; the next refill follows it.
  bool ShowOlderItems() const;
  void SetShowOlderItems(bool Shown);
  // True while the list shows the current feed's items (and its older ones).
  bool ShowsFeedItems() const { return listKind_ == TListKind::FeedItems; }

  // What the current item's relative addresses resolve against: its own feed's address.
  QUrl CurrentBaseUrl() const;

  // The page of an item: its description between "<html>" and "</html>".
  static QString ContentPage(const TFeedItem* Item, const std::string& Encoding = {});

 signals:
  // The current item's page (or the blank page of none), its relative addresses resolving
  // against BaseUrl; browser mode writes it unless the user browses elsewhere.
  void ItemPageReady(const QString& Page, const QUrl& BaseUrl);
  // The feed's link panel or the item's link panel was clicked.
  void FeedWebSiteWanted();
  void ItemLinkWanted();

 public:
 protected:
  // Space in the item list; Escape in the list or the search field leaves the search.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  friend struct test::MainWindowAccess;

  void SpaceInItems();
  void SelectItem(const TFeed& Feed, const std::string& Identity);
  void BuildPane(QWidget* Parent, const std::function<TWebBrowser*(QWidget* Parent)>& CreateBrowser);
  // True while the current item's page can be seen: the reader view of a window that is
  // shown (not hidden to the notification area, not minimised).
  bool ItemPageOnScreen() const;
  void ClearItemLines();
  // Writes one line per item of Feed in the list's order, each hooked to its item.
  void WriteItemLines(TFeed& Feed);
  // The current feed's items again in the order the menu entry asks for, the current item
  // still selected and its page left as it is.
  void miViewSortByDateClick();
  // The item shown on Row, or -1.
  int ItemIndexOfRow(int Row) const;
  // What the item list shows: the current feed's items (and its older items when asked),
  // every starred item, or the results of a search.
  enum class TListKind { FeedItems, Starred, Results };
  // The stored item shown on Row (an index into storedLines_), or -1.
  int StoredIndexOfRow(int Row) const;
  // Appends a line for each of storedLines_, after the feed's own.
  void AppendStoredLines();
  void WriteStoredLine(int Index);
  // Shows Items alone in the list, none selected, as the list of Kind.
  void ShowStoredList(TListKind Kind, std::vector<TStoredItem> Items);
  // The item a stored line opens: the feed's own item while its document holds it (so its
  // read flag reaches the cache file and the feed's count), else a copy of the stored one.
  std::shared_ptr<TFeedItem> ItemOfStored(const TStoredItem& Stored);
  // Sets Item's read flag and tells the store, for an item of a feed or a stored line.
  void SetItemRead(const std::shared_ptr<TFeedItem>& Item, bool Value);
  // Searches for the typed words in the chosen feeds and lists the results.
  void RunSearch();
  void LeaveSearch();
  std::vector<std::string> SearchScope() const;
  // The encoding of the current item's page.
  std::string CurrentEncoding() const;

  TPaneHost& host_;
  QMainWindow& window_;
  // The feed's half: its heading panels and its item list.
  QWidget* plTopRight = nullptr;
  TCaptionPanel* plFeedTitle = nullptr;
  TCaptionPanel* plFeedLink = nullptr;
  QLabel* meFeedDescription = nullptr;
  QListWidget* lbItems = nullptr;
  QAction* miViewSortByDate = nullptr;
  bool firstUnreadOnFill_ = false;
  std::string itemOnFill_;
  // The item the user marked unread while it is shown: no count marks it read again.
  std::shared_ptr<TFeedItem> keptUnread_;
  // The item each line shows, and the line each item is shown on.
  std::vector<int> rowItems_;
  std::vector<int> itemRows_;
  // The stored items shown from row firstStoredRow_ on, and the one current, or -1.
  TListKind listKind_ = TListKind::FeedItems;
  std::vector<TStoredItem> storedLines_;
  int firstStoredRow_ = 0;
  int currentStored_ = -1;
  QAction* miViewShowOlderItems = nullptr;
  QAction* miViewStarredItems = nullptr;
  // The search field and its choice of feeds, above the item list.
  QWidget* plSearch = nullptr;
  QLineEdit* edSearch = nullptr;
  QComboBox* cbSearchScope = nullptr;
  // The item's half: the current item, its panels and page, and its mark-as-read count.
  std::shared_ptr<TFeedItem> currentItem_;
  QWidget* plBottomRight = nullptr;
  TCaptionPanel* plItemTitle = nullptr;
  TCaptionPanel* plItemLink = nullptr;
  TWebBrowser* WebBrowser = nullptr;
  QTimer* MarkAsReadTimer = nullptr;
  // The whole pane and its splitter; a half-height layout asked for before the window was
  // laid out for real waits for it.
  bool halfHeightPending_ = false;
  QWidget* plRight = nullptr;
  QSplitter* Splitter2 = nullptr;
};

}  // namespace skimbrook
