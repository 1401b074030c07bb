// The feed list's box: rows that are dragged within the list only. The box does not move
// rows itself; it reports where a row was dropped and the window reorders list and rows.
#pragma once

#include <QListWidget>

namespace skimbrook {

class TFeedListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TFeedListBox(QWidget* Parent = nullptr);

 signals:
  // A row of this list was dropped at Position (viewport coordinates).
  void RowDropped(const QPoint& Position);

 protected:
  void startDrag(Qt::DropActions SupportedActions) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;
};

}  // namespace skimbrook
