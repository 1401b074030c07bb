#include "ui/uCaptionPanel.h"

#include <QApplication>
#include <QMouseEvent>

namespace skimbrook {

void ApplyPanelColours(QWidget& Widget) {
  // The system colours, not the widget's: a panel inside a panel inherits changed ones.
  const QPalette system = QApplication::palette();
  const QColor shadow = system.color(QPalette::Active, QPalette::Dark);
  const QColor window = system.color(QPalette::Active, QPalette::Base);
  QPalette palette = Widget.palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, shadow);
    palette.setColor(group, QPalette::Base, shadow);
    palette.setColor(group, QPalette::WindowText, window);
    palette.setColor(group, QPalette::Text, window);
  }
  Widget.setPalette(palette);
  Widget.setAutoFillBackground(true);
}

TCaptionPanel::TCaptionPanel(int Height, int PixelSize, bool Bold, bool Underline, QWidget* Parent)
    : QLabel(Parent) {
  QFont font = this->font();
  font.setPixelSize(PixelSize);
  font.setBold(Bold);
  font.setUnderline(Underline);
  setFont(font);
  setFixedHeight(Height);
  setContentsMargins(4, 0, 4, 0);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextFormat(Qt::PlainText);
  setMinimumWidth(1);
  ApplyPanelColours(*this);
}

void TCaptionPanel::SetCaption(const QString& Text, bool Clickable) {
  setText(Text);
  if (Clickable)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
}

void TCaptionPanel::mouseReleaseEvent(QMouseEvent* Event) {
  QLabel::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) emit Clicked();
}

}  // namespace skimbrook
