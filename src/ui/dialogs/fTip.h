// The tip-of-the-day dialog.
#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace skimbrook {

// The number of tips; they are numbered from 1 for the user.
inline constexpr int TipCount = 24;

// The tip form: the memo with the current tip, "Show tips on start up", "Next Tip" and
// "Close". Escape closes it as Close does.
class TfmTip : public QDialog {
  Q_OBJECT

 public:
  explicit TfmTip(QWidget* Parent = nullptr);

  // Index of the tip on show (before the first NextTip, the start value it follows).
  int TipIndex = 0;
  // Moves to the following tip, the first after the last, and shows it.
  void NextTip();

  QPlainTextEdit* Memo;
  QCheckBox* cbShowTips;
  QPushButton* btOK;
  QPushButton* btCancel;

 protected:
  void resizeEvent(QResizeEvent* Event) override;
};

// The index after Index, wrapped into the table. Index may lie beyond the table: the
// dialog starts from a random value of 0 to 999 and shows the tip that follows it.
int NextTipIndex(int Index);

// Shows the tip dialog modally, starting at a random tip. ShowTips sets the
// "Show tips on start up" box and receives its state however the dialog closes.
void RunTipDialog(bool& ShowTips, QWidget* Parent);

}  // namespace skimbrook
