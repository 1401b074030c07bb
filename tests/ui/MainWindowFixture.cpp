#include "MainWindowFixture.h"

#include <QListWidget>

#include "ui/panes/uFeedListBox.h"

namespace skimbrook::test {

namespace {

QStringList Texts(const QAbstractItemView& List) {
  QStringList texts;
  const QAbstractItemModel& rows = *List.model();
  for (int i = 0; i < rows.rowCount(); ++i) texts << rows.index(i, 0).data().toString();
  return texts;
}

}  // namespace

QStringList MainWindowTest::FeedRows() const {
  return Texts(*Ui().lbFeedList);
}
QStringList MainWindowTest::ItemLines() const {
  return Texts(*Ui().lbItems);
}

void MainWindowTest::ClickFeedRow(int Row) {
  if (Ui().lbFeedList->currentRow() == Row)
    emit Ui().lbFeedList->clicked(Ui().lbFeedList->model()->index(Row, 0));
  else
    Ui().lbFeedList->setCurrentRow(Row);
  ProcessEvents();
}

}  // namespace skimbrook::test
