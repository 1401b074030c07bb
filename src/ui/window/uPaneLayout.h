// Layout helpers that the main window and its panes share: sizes of the window's design and
// the hand-made panels and columns the panes are built from.
#pragma once

#include <qnamespace.h>

class QFrame;
class QMainWindow;
class QSplitter;
class QVBoxLayout;
class QWidget;

namespace skimbrook {

// Sizes of the window's design, in pixels.
constexpr int kSplitterWidth = 2;
constexpr int kMinimumPane = 100;

// Lays the window out now, so that sizes set before the window is first shown work on the
// real pane sizes.
void LayOutNow(QMainWindow& Window);

// A column of widgets that fill Owner edge to edge, without gaps between them.
QVBoxLayout* NewFlushColumn(QWidget* Owner);

// A panel with a raised inner and lowered outer bevel, laid out by hand.
QFrame* BevelPanel(QWidget* Parent, int Height);

// A splitter of the window's look: thin handles, panes that never collapse.
QSplitter* NewPaneSplitter(Qt::Orientation Orientation, QWidget* Parent);

// Gives the first pane of Splitter First pixels and the second the rest.
void SetFirstPaneSize(QSplitter& Splitter, int First);

}  // namespace skimbrook
