#include "MainWindowFixture.h"

#include <QListWidget>

#include "ui/panes/uFeedListBox.h"

namespace skimbrook::test {

namespace {

QStringList Texts(const QListWidget& List) {
  QStringList texts;
  for (int i = 0; i < List.count(); ++i) texts << List.item(i)->text();
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
