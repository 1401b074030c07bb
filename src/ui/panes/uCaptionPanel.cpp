#include "ui/panes/uCaptionPanel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>

namespace skimbrook {

void ApplyPanelColours(QWidget& Widget) {
  // The system colours, not the widget's: a panel inside a panel inherits changed ones.
  const QPalette system = QApplication::palette();
  const QColor shadow = system.color(QPalette::Active, QPalette::Dark);
  // The window colour on the shadow; on a dark desktop, where that would be dark on dark,
  // the desktop's text colour.
  QColor window = system.color(QPalette::Active, QPalette::Base);
  if (window.lightness() < 128) window = system.color(QPalette::Active, QPalette::Text);
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

void TCaptionPanel::SetSideText(const QString& Text) {
  if (!sideText_) {
    if (Text.isEmpty()) return;
    sideText_ = new QLabel(this);
    QFont regular = font();
    regular.setBold(false);
    regular.setUnderline(false);
    sideText_->setFont(regular);
    sideText_->setTextFormat(Qt::PlainText);
    sideText_->setContentsMargins(8, 0, 0, 0);
    ApplyPanelColours(*sideText_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(sideText_);
  }
  sideText_->setText(Text);
  sideText_->setVisible(!Text.isEmpty());
}

void TCaptionPanel::mouseReleaseEvent(QMouseEvent* Event) {
  QLabel::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) emit Clicked();
}

}  // namespace skimbrook
