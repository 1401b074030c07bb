#include "ui/panes/uFeedRows.h"

#include "display/uDisplayText.h"
#include "download/uFetchState.h"
#include "model/uRSS.h"
#include "ui/painting/uFeedListDelegate.h"
#include "ui/panes/uListRules.h"
#include "ui/window/uPaneHost.h"

namespace skimbrook {

TFeedRows::TFeedRows(TPaneHost& Host, QObject* Parent) : QAbstractListModel(Parent), host_(Host) {}

int TFeedRows::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : count_;
}

QVariant TFeedRows::data(const QModelIndex& Index, int Role) const {
  // The view asks for every role of every row it paints; only these four are the rows'.
  const bool ours = Role == Qt::DisplayRole || Role == TFeedListDelegate::kFailedRole ||
                    Role == Qt::ToolTipRole || Role == Qt::AccessibleTextRole;
  const int row = Index.row();
  if (!ours || !Index.isValid() || row >= count_ || row >= host_.FeedList().Count()) return {};
  const TFeed& feed = *host_.FeedList().Feeds(row);
  const TFetchRecord* record = feed.XmlUrl.empty() ? nullptr : host_.FetchState().Find(feed.XmlUrl);
  const bool failed = record && !record->LastFailure.empty();
  switch (Role) {
    case Qt::DisplayRole:
      return FeedRowText(feed, record ? record->Encoding : std::string());
    case TFeedListDelegate::kFailedRole:
      return failed;
    case Qt::ToolTipRole:
      return failed ? QVariant(PlainAsRichText(FailureTooltip(*record))) : QVariant();
    default:  // Qt::AccessibleTextRole
      return FeedRowSpoken(FeedRowText(feed, record ? record->Encoding : std::string()), failed);
  }
}

Qt::ItemFlags TFeedRows::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

void TFeedRows::Reset(const std::function<void()>& Change) {
  beginResetModel();
  try {
    Change();
  } catch (...) {
    count_ = host_.FeedList().Count();
    endResetModel();
    throw;
  }
  count_ = host_.FeedList().Count();
  endResetModel();
}

void TFeedRows::Insert(int Row, const std::function<void()>& Change) {
  beginInsertRows(QModelIndex(), Row, Row);
  Change();
  ++count_;
  endInsertRows();
}

void TFeedRows::Remove(int Row, const std::function<void()>& Change) {
  beginRemoveRows(QModelIndex(), Row, Row);
  Change();
  --count_;
  endRemoveRows();
}

void TFeedRows::Changed(int Row) {
  const QModelIndex index = this->index(Row, 0);
  if (index.isValid()) emit dataChanged(index, index);
}

void TFeedRows::ChangedAll() {
  if (count_ > 0) emit dataChanged(index(0, 0), index(count_ - 1, 0));
}

}  // namespace skimbrook
