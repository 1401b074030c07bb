// What the two owner-drawn lists share: the fixed row height, the row background by
// selection and focus, and the text position inside a row.
#pragma once

#include <QColor>
#include <QStyleOptionViewItem>

class QPainter;

namespace skimbrook {

inline constexpr int kRowHeight = 16;
// Where row text starts inside the row rectangle.
inline constexpr int kRowTextLeft = 4;
inline constexpr int kRowTextTop = 1;

bool RowSelected(const QStyleOptionViewItem& Option);
// Selected, and the list has the keyboard focus on it.
bool RowSelectedAndFocused(const QStyleOptionViewItem& Option);
// The active caption colour when selected and focused, the button face when only
// selected, else the window colour.
QColor RowBackground(const QStyleOptionViewItem& Option);
// The text colour on a selected and focused row.
QColor RowCaptionText(const QStyleOptionViewItem& Option);
// The text colour of a row that is not selected and focused: black, as on every light
// desktop; on a dark window colour the palette's own text colour, since black would not
// be seen there.
QColor RowText(const QStyleOptionViewItem& Option);
// Draws Text with its top-left corner at (X, Y) on an opaque Background.
void DrawOpaqueText(QPainter& Painter, int X, int Y, const QString& Text, const QColor& Background);
// The toolkit's focus rectangle around a focused row.
void DrawRowFocus(QPainter& Painter, const QStyleOptionViewItem& Option);

}  // namespace skimbrook
