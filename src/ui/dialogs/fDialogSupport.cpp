#include "ui/dialogs/fDialogSupport.h"

#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QRect>

#include "display/uDisplayText.h"

namespace skimbrook {

std::string EditedBytes(const QString& Text, const std::string& Original) {
  return Text == ToDisplay(Original) ? Original : FromDisplay(Text);
}

void SetUpToolDialog(QDialog& Dialog, const QString& Title, int Width, int Height, bool Sizeable) {
  Dialog.setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  Dialog.setWindowTitle(Title);
  if (Sizeable) {
    Dialog.setMinimumSize(Width, Height);
    Dialog.resize(Width, Height);
  } else {
    Dialog.setFixedSize(Width, Height);
  }
}

QFrame* AddSeparator(QWidget& Parent, const QRect& Geometry) {
  auto* Line = new QFrame(&Parent);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);
  Line->setGeometry(Geometry);
  return Line;
}

QPushButton* AddButton(QWidget& Parent, const QString& Caption, int Left, int Top) {
  auto* Button = new QPushButton(Caption, &Parent);
  Button->setGeometry(Left, Top, 75, 25);
  return Button;
}

}  // namespace skimbrook
