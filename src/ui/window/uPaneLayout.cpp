#include "ui/window/uPaneLayout.h"

#include <QFrame>
#include <QLayout>
#include <QMainWindow>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

namespace skimbrook {

void LayOutNow(QMainWindow& Window) {
  if (QLayout* layout = Window.layout()) layout->activate();
  if (QWidget* central = Window.centralWidget())
    if (QLayout* layout = central->layout()) layout->activate();
}

QVBoxLayout* NewFlushColumn(QWidget* Owner) {
  auto* column = new QVBoxLayout(Owner);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  return column;
}

QFrame* BevelPanel(QWidget* Parent, int Height) {
  auto* panel = new QFrame(Parent);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  panel->setFixedHeight(Height);
  return panel;
}

QSplitter* NewPaneSplitter(Qt::Orientation Orientation, QWidget* Parent) {
  auto* splitter = new QSplitter(Orientation, Parent);
  splitter->setHandleWidth(kSplitterWidth);
  splitter->setChildrenCollapsible(false);
  return splitter;
}

void SetFirstPaneSize(QSplitter& Splitter, int First) {
  const int whole = Splitter.orientation() == Qt::Horizontal ? Splitter.width() : Splitter.height();
  Splitter.setSizes({First, std::max(0, whole - Splitter.handleWidth() - First)});
}

}  // namespace skimbrook
