// What the small dialogs share: keeping stored bytes that the user left alone, and the
// frame of a tool-window dialog. Text goes between bytes and controls through ToDisplay and
// FromDisplay (uDisplayText.h).
#pragma once

#include <string>

#include <QString>

class QDialog;
class QFrame;
class QPushButton;
class QRect;
class QWidget;

namespace skimbrook {

// The bytes to store for an edit that was filled from Original: Original itself while
// the text still reads as shown, so that OK never rewrites bytes the user left alone.
std::string EditedBytes(const QString& Text, const std::string& Original);

// Makes Dialog a tool window titled Title with a client area of Width by Height;
// Sizeable lets the user enlarge it beyond that.
void SetUpToolDialog(QDialog& Dialog, const QString& Title, int Width, int Height, bool Sizeable = false);
// A sunken horizontal line over Geometry, the separator above a dialog's buttons.
QFrame* AddSeparator(QWidget& Parent, const QRect& Geometry);
// A 75x25 push button at (Left, Top).
QPushButton* AddButton(QWidget& Parent, const QString& Caption, int Left, int Top);

}  // namespace skimbrook
