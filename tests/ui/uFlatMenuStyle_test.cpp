// The flat menus, drawn offscreen and measured.
#include "ui/painting/uFlatMenuStyle.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <algorithm>
#include <vector>

namespace skimbrook::test {

namespace {

// The widest run of columns without text between the first and the last inked column of
// Action's row.
int WidestGapInRow(QMenu& Menu, QAction* Action) {
  const QRect row = Menu.actionGeometry(Action);
  const QImage image = Menu.grab().toImage();
  std::vector<int> inked;
  for (int x = row.left() + TFlatMenuStyle::kIconColumn + 1; x < row.right(); ++x)
    for (int y = row.top() + 2; y < row.bottom() - 1; ++y)
      if (qGray(image.pixel(x, y)) < 128) {
        inked.push_back(x);
        break;
      }
  int widest = 0;
  for (size_t i = 1; i < inked.size(); ++i) widest = std::max(widest, inked[i] - inked[i - 1] - 1);
  return widest;
}

TEST(FlatMenuStyle, LeavesAClearGapBetweenACaptionAndItsShortcut) {
  TFlatMenuStyle style;
  QMenu menu;
  menu.setStyle(&style);
  QAction* longest = menu.addAction("Skimbrook Help...");
  longest->setShortcut(QKeySequence(Qt::Key_F1));
  QAction* group = menu.addAction("Download Group");
  group->setShortcut(QKeySequence(Qt::Key_F6));
  menu.adjustSize();
  EXPECT_GE(WidestGapInRow(menu, longest), 16);
  EXPECT_GE(WidestGapInRow(menu, group), 16);
}

}  // namespace

}  // namespace skimbrook::test
