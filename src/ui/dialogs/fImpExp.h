// The import/export dialog: the entries of a subscription list with check boxes, group
// headings with their feeds indented under them, so that the user picks which entries to
// import or export.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QPoint;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace skimbrook {

class TFeedList;

// The file types offered when an OPML file is opened or saved, and the extension a typed
// name without one gets.
inline constexpr const char* kOpmlFilter = "OPML Files (*.opml)|*.opml|All Files (*.*)|*.*";
inline constexpr const char* kOpmlExtension = "opml";

// The dialog's form: the check list with "Check All" and "Uncheck All" beside it, and
// Cancel and OK (captioned like the window) below. A group heading's tick is its feeds'
// ticks: ticking it ticks them all, and it shows half a tick when only some are ticked.
// Space ticks or unticks every selected line at once; Escape cancels, Enter is OK. The
// pop-up menu ticks all lines, none, or flips every tick.
class TfmImpExp : public QDialog {
  Q_OBJECT

 public:
  // A dialog titled Caption whose OK button reads Caption too.
  explicit TfmImpExp(const QString& Caption, QWidget* Parent = nullptr);

  // One unticked line per entry of List, in order, showing the entry's title (its address
  // when it has none); the feeds that follow a group heading stand indented under it.
  void ShowEntries(const TFeedList& List);
  // The positions in the list of the ticked entries, first to last. A group heading counts
  // as ticked when any of its feeds is, so that the chosen feeds keep their group.
  std::vector<int> TickedLines() const;
  // The line of the entry at position Index of the list.
  QTreeWidgetItem* Line(int Index) const;

  void btOKClick();
  void btCancelClick();
  void Checkall1Click();
  void UncheckAll1Click();
  void InvertSelection1Click();
  // Space: every selected line takes the opposite of the current line's tick.
  void ToggleSelectedLines();

  QTreeWidget* lbFeeds;
  QPushButton* btCheckAll;
  QPushButton* btUncheckAll;
  QPushButton* btOK;
  QPushButton* btCancel;
  QMenu* PopupMenu;
  QAction* Checkall1;
  QAction* UncheckAll1;
  QAction* InvertSelection1;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void ShowPopupMenu(QWidget* Owner, const QPoint& Position);
  // The lines in list order: headings and feeds alike.
  std::vector<QTreeWidgetItem*> lines_;
};

// Shows the entries of List in the dialog titled Caption, all unticked. Returns the
// positions the user ticked, in order, when the dialog ends with OK; nothing otherwise.
std::optional<std::vector<int>> ChooseEntries(const TFeedList& List, const QString& Caption, QWidget* Parent);

}  // namespace skimbrook
