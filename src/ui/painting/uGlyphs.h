// The pictures of the toolbar buttons, the browser toolbar and the notification-area icon,
// drawn at run time so that no image files are needed.
#pragma once

#include <QIcon>

namespace skimbrook {

enum class TGlyph {
  AddFeed,
  CheckFeed,
  CatchUp,
  CheckAll,
  Close,
  BrowserHome,
  BrowserBack,
  BrowserForward,
  BrowserRefresh,
  BrowserGo,
  BrowserClose,
};

// The glyph's picture, 20 pixels square.
QIcon GlyphIcon(TGlyph Glyph);
// The program's icon: an orange square with the broadcast waves of a feed.
QIcon ProgramIcon();

}  // namespace skimbrook
