// The right-hand panes: the current feed's heading panels and item list, the current item's
// heading panels and its page in the browser, and marking items read after a delay.
#include <QLabel>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimer>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/fMain.h"
#include "ui/uBulkUpdate.h"
#include "ui/uCaptionPanel.h"
#include "ui/uFeedAddress.h"
#include "ui/uListRules.h"
#include "ui/uWebBrowser.h"

namespace skimbrook {

void TfmMain::UnhookItems(TFeed& Feed) {
  for (int i = 0; i < Feed.ItemCount(); ++i) Feed.Items(i).OnChange = nullptr;
}

void TfmMain::ClearItemLines() {
  const QSignalBlocker blocker(lbItems);
  lbItems->clear();
}

void TfmMain::ReleaseItemList() {
  MarkAsReadTimer->stop();
  currentItem_.reset();
  if (currentFeed_) UnhookItems(*currentFeed_);
  ClearItemLines();
}

void TfmMain::FillItemList() {
  currentItem_.reset();
  if (!currentFeed_) {
    ClearItemLines();
    UpdateFeedAndItemView();
    return;
  }
  // Held here so that a nested event loop cannot take the feed away while it is filled.
  const std::shared_ptr<TFeed> feed = currentFeed_;
  if (feed->XmlUrl.empty()) {
    ClearItemLines();
  } else {
    // The earlier feed's lines go first, so that a cache file that cannot be read leaves
    // no lines of another feed behind.
    ClearItemLines();
    if (feed->ItemCount() == -1) feed->LoadCache();
    {
      const QSignalBlocker blocker(lbItems);
      const TBulkUpdate bulk(*lbItems);
      for (int i = 0; i < feed->ItemCount(); ++i) {
        lbItems->addItem(QString());
        TFeedItem& item = feed->Items(i);
        item.OnChange = [this](int Index, TFeedItem& Changed) { ItemLineChanged(Index, Changed); };
        item.Changed();
      }
    }
    if (lbItems->count() > 0) {
      const QSignalBlocker blocker(lbItems);
      lbItems->setCurrentRow(0);
    }
    if (lbItems->count() > 0) lbItemsClick();
  }
  feed->UnreadCount = feed->CountUnread();
  UpdateFeedAndItemView();
}

void TfmMain::ItemLineChanged(int Index, TFeedItem& Item) {
  if (QListWidgetItem* line = lbItems->item(Index))
    line->setText(ItemLineText(Item, currentFeed_ ? EncodingOf(*currentFeed_) : std::string()));
}

void TfmMain::lbItemsClick() {
  MarkAsReadTimer->stop();
  const int row = lbItems->currentRow();
  if (currentFeed_ && row >= 0 && row < currentFeed_->ItemCount())
    currentItem_ = currentFeed_->ItemPtr(row);
  else
    currentItem_.reset();
  UpdateFeedAndItemView();
  ArmMarkAsRead();
}

bool TfmMain::ItemPageOnScreen() const {
  return !InBrowserMode() && isVisible() && !isMinimized();
}

void TfmMain::ArmMarkAsRead() {
  MarkAsReadTimer->stop();
  // An item counts as read only once its page has been seen: a refill in browser mode or
  // in a hidden window waits until the page is shown.
  if (currentItem_ && !currentItem_->IsRead && ItemPageOnScreen()) MarkAsReadTimer->start();
}

void TfmMain::MarkAsReadTimerTimer() {
  MarkAsReadTimer->stop();
  if (!ItemPageOnScreen()) return;
  if (const std::shared_ptr<TFeedItem> item = currentItem_) item->SetRead(true);
}

QString TfmMain::ContentPage(const TFeedItem* Item, const std::string& Encoding) {
  // Decoded here, so the engine gets characters and never guesses the bytes' encoding.
  return QStringLiteral("<html>") + (Item ? ToDisplay(Item->Description, Encoding) : QString()) +
         QStringLiteral("</html>");
}

void TfmMain::WriteContentPage(TWebBrowser& Browser, const QString& Page, const QUrl& BaseUrl) {
  try {
    Browser.Navigate(QStringLiteral("about:blank"));
    Browser.LoadFromText(Page, BaseUrl);
  } catch (...) {
    // The pane keeps what it showed; a page that cannot be written is not worth a message.
  }
}

void TfmMain::UpdateFeedAndItemView() {
  const std::string& encoding = currentFeed_ ? EncodingOf(*currentFeed_) : std::string();
  if (const TFeed* feed = currentFeed_.get()) {
    plFeedTitle->SetCaption(ToDisplayTitle(feed->Title, encoding));
    plFeedLink->SetCaption(ToDisplay(feed->HtmlUrl, encoding), !feed->HtmlUrl.empty());
    meFeedDescription->setText(ToDisplay(feed->Description, encoding));
  } else {
    plFeedTitle->SetCaption(QString());
    plFeedLink->SetCaption(QString());
    meFeedDescription->clear();
  }

  // Back to the earlier value at the end, also on an error: a call nested in a blank-page
  // wait must not end the wait's own internal navigation.
  const QScopedValueRollback internal(navigatingInternally, true);
  const std::shared_ptr<TFeedItem> item = currentItem_;
  if (item) {
    plItemTitle->SetCaption(ToDisplayTitle(item->Title, encoding));
    plItemLink->SetCaption(ToDisplay(item->Link, encoding), !item->Link.empty());
  } else {
    plItemTitle->SetCaption(QString());
    plItemLink->SetCaption(QString());
  }
  // In browser mode the pane shows the page the user went to; a refill (after a download,
  // say) must not replace it. Leaving browser mode writes the item's page.
  // Relative links of the page point into the feed's site, as they do in the feed.
  const QUrl base = currentFeed_ ? FeedBaseUrl(currentFeed_->XmlUrl) : QUrl();
  if (!InBrowserMode()) WriteContentPage(*WebBrowser, ContentPage(item.get(), encoding), base);
}

void TfmMain::plFeedLinkClick() {
  OpenFeedWebSite();
}
void TfmMain::plItemLinkClick() {
  FollowItemLink();
}

}  // namespace skimbrook
