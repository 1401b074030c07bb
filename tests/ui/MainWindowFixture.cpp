#include "MainWindowFixture.h"

#include <QListWidget>

#include "ui/uFeedListBox.h"

namespace skimbrook::test {

namespace {

QStringList Texts(const QListWidget& List) {
  QStringList texts;
  for (int i = 0; i < List.count(); ++i) texts << List.item(i)->text();
  return texts;
}

}  // namespace

QStringList MainWindowTest::FeedRows() const {
  return Texts(*window->lbFeedList);
}
QStringList MainWindowTest::ItemLines() const {
  return Texts(*window->lbItems);
}

void MainWindowTest::ClickFeedRow(int Row) {
  if (window->lbFeedList->currentRow() == Row)
    emit window->lbFeedList->clicked(window->lbFeedList->model()->index(Row, 0));
  else
    window->lbFeedList->setCurrentRow(Row);
  ProcessEvents();
}

}  // namespace skimbrook::test
