#include "ui/panes/uFeedListBox.h"

#include <QDrag>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>

namespace skimbrook {

namespace {

constexpr char kRowMime[] = "application/x-skimbrook-feed-row";

}  // namespace

TFeedListBox::TFeedListBox(QWidget* Parent) : QListView(Parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
}

void TFeedListBox::setModel(QAbstractItemModel* Model) {
  QListView::setModel(Model);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Current) { emit currentRowChanged(Current.row()); });
}

int TFeedListBox::currentRow() const {
  return currentIndex().row();
}

void TFeedListBox::setCurrentRow(int Row) {
  if (!selectionModel()) return;
  selectionModel()->setCurrentIndex(model()->index(Row, 0), QItemSelectionModel::ClearAndSelect);
}

int TFeedListBox::count() const {
  return model() ? model()->rowCount() : 0;
}

void TFeedListBox::startDrag(Qt::DropActions) {
  if (currentRow() < 0) return;
  auto* drag = new QDrag(this);
  auto* data = new QMimeData;
  data->setData(kRowMime, QByteArray::number(currentRow()));
  drag->setMimeData(data);
  // The list is reordered by RowDropped's receiver; nothing is removed here whatever the
  // drag's outcome.
  drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void TFeedListBox::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->source() == this)
    Event->acceptProposedAction();
  else
    Event->ignore();
}

void TFeedListBox::dragMoveEvent(QDragMoveEvent* Event) {
  if (Event->source() == this)
    Event->acceptProposedAction();
  else
    Event->ignore();
}

void TFeedListBox::dropEvent(QDropEvent* Event) {
  if (Event->source() != this) {
    Event->ignore();
    return;
  }
  Event->acceptProposedAction();
  emit RowDropped(Event->position().toPoint());
}

}  // namespace skimbrook
