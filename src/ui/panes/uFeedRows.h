// The rows of the feed list as the list box shows them. A row is worked out from its entry
// and the entry's fetch state only when the box asks for it (the rows on screen), so that
// a list of thousands of entries costs nothing until it is drawn and always shows the
// entries as they are. The number of rows is told, not read: the pane announces every
// change of the list around the change itself, as the box needs to hear it.
#pragma once

#include <QAbstractListModel>
#include <functional>

namespace skimbrook {

class TPaneHost;

class TFeedRows : public QAbstractListModel {
  Q_OBJECT

 public:
  TFeedRows(TPaneHost& Host, QObject* Parent);

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  // The row's text ("<unread> Title" or ". Title"), its failure mark
  // (TFeedListDelegate::kFailedRole), the failure's reason as its tooltip, and its text in
  // words for screen readers.
  QVariant data(const QModelIndex& Index, int Role) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

  // Change replaces every entry of the list; all rows are new afterwards, also when it
  // throws.
  void Reset(const std::function<void()>& Change);
  // Change puts one entry into the list at Row.
  void Insert(int Row, const std::function<void()>& Change);
  // Change takes the entry at Row out of the list.
  void Remove(int Row, const std::function<void()>& Change);
  // The entry at Row changed; its row is drawn again.
  void Changed(int Row);
  // Every row is drawn again.
  void ChangedAll();

 private:
  TPaneHost& host_;
  int count_ = 0;
};

}  // namespace skimbrook
