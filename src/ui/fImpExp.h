// The import/export dialog: the entries of a subscription list as lines with check boxes,
// so that the user picks which of them to import or export.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

class QAction;
class QListWidget;
class QMenu;
class QPoint;
class QPushButton;
class QWidget;

namespace skimbrook {

class TFeedList;

// The file types offered when an OPML file is opened or saved, and the extension a typed
// name without one gets.
inline constexpr const char* kOpmlFilter = "OPML Files (*.opml)|*.opml|All Files (*.*)|*.*";
inline constexpr const char* kOpmlExtension = "opml";

// The dialog's form: the check list over the OK button (captioned like the window) and
// Cancel. Escape cancels; the pop-up menu ticks all lines, none, or flips every tick.
class TfmImpExp : public QDialog {
  Q_OBJECT

 public:
  // A dialog titled Caption whose OK button reads Caption too.
  explicit TfmImpExp(const QString& Caption, QWidget* Parent = nullptr);

  // One unticked line per entry of List, in order, showing the entry's title.
  void ShowEntries(const TFeedList& List);
  // The positions of the ticked lines, first to last.
  std::vector<int> TickedLines() const;

  void btOKClick();
  void btCancelClick();
  void Checkall1Click();
  void UncheckAll1Click();
  void InvertSelection1Click();

  QListWidget* lbFeeds;
  QPushButton* btOK;
  QPushButton* btCancel;
  QMenu* PopupMenu;
  QAction* Checkall1;
  QAction* UncheckAll1;
  QAction* InvertSelection1;

 private:
  void ShowPopupMenu(QWidget* Owner, const QPoint& Position);
};

// Shows the entries of List in the dialog titled Caption, all unticked. Returns the
// positions the user ticked, in order, when the dialog ends with OK; nothing otherwise.
std::optional<std::vector<int>> ChooseEntries(const TFeedList& List, const QString& Caption, QWidget* Parent);

}  // namespace skimbrook
