// The feed list's box: a list view over the rows of the subscription list, with the few
// row calls of a plain list box (current row, row count). Its rows are dragged within the
// list only. The box does not move rows itself; it reports where a row was dropped and
// the pane reorders list and rows.
#pragma once

#include <QListView>

namespace skimbrook {

class TFeedListBox : public QListView {
  Q_OBJECT

 public:
  explicit TFeedListBox(QWidget* Parent = nullptr);

  void setModel(QAbstractItemModel* Model) override;
  // The current row, or -1.
  int currentRow() const;
  // Makes Row current and the only selected row; -1 leaves no row current.
  void setCurrentRow(int Row);
  int count() const;

 signals:
  // The current row changed (to -1 when none is current).
  void currentRowChanged(int Row);
  // A row of this list was dropped at Position (viewport coordinates).
  void RowDropped(const QPoint& Position);

 protected:
  void startDrag(Qt::DropActions SupportedActions) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;
};

}  // namespace skimbrook
