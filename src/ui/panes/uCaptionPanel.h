// A heading panel of the right-hand panes: one line of text on the shadow colour, with a
// 4-pixel border; link panels report clicks.
#pragma once

#include <QLabel>

namespace skimbrook {

class TCaptionPanel : public QLabel {
  Q_OBJECT

 public:
  // A panel Height pixels high whose font is PixelSize high, bold and underlined as asked.
  TCaptionPanel(int Height, int PixelSize, bool Bold, bool Underline, QWidget* Parent = nullptr);

  // Sets the text shown; the hand cursor marks a panel that leads somewhere.
  void SetCaption(const QString& Text, bool Clickable = false);
  // A second text at the panel's right end in a regular face (an item's date); empty: none.
  // It covers the caption where a long caption reaches it.
  void SetSideText(const QString& Text);

 signals:
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  QLabel* sideText_ = nullptr;
};

// Gives Widget the panels' colours: shadow background, window-coloured text.
void ApplyPanelColours(QWidget& Widget);

}  // namespace skimbrook
