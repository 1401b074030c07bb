#include "ui/dialogs/fImpExp.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/dialogs/fDialogSupport.h"

namespace skimbrook {

namespace {

constexpr int kFormWidth = 380;
constexpr int kFormHeight = 360;
constexpr int kLineHeight = 13;
constexpr int kListFontPixels = 11;
constexpr int kIndent = 16;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
// Where a line keeps the position of its entry in the list.
constexpr int kPositionRole = Qt::UserRole;

// Every line of the check list is kLineHeight pixels high.
class TFixedLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return {QStyledItemDelegate::sizeHint(Option, Index).width(), kLineHeight};
  }
};

QPushButton* NewButton(const QString& Caption, const char* Name, QWidget* Parent) {
  auto* button = new QPushButton(Caption, Parent);
  button->setObjectName(QLatin1String(Name));
  button->setFixedSize(kButtonWidth, kButtonHeight);
  return button;
}

// The lines whose tick is their own: feeds and headings without feeds. A heading with
// feeds shows theirs.
bool HasOwnTick(const QTreeWidgetItem& Line) {
  return Line.childCount() == 0;
}

}  // namespace

TfmImpExp::TfmImpExp(const QString& Caption, QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmImpExp"));
  SetUpToolDialog(*this, Caption, kFormWidth, kFormHeight, true);

  lbFeeds = new QTreeWidget(this);
  lbFeeds->setObjectName(QStringLiteral("lbFeeds"));
  lbFeeds->setItemDelegate(new TFixedLineDelegate(lbFeeds));
  lbFeeds->setUniformRowHeights(true);
  lbFeeds->setHeaderHidden(true);
  lbFeeds->setColumnCount(1);
  // Groups stay open: a heading is a caption over its feeds, not a folder to open.
  lbFeeds->setRootIsDecorated(false);
  lbFeeds->setItemsExpandable(false);
  lbFeeds->setIndentation(kIndent);
  lbFeeds->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QFont listFont = lbFeeds->font();
  listFont.setPixelSize(kListFontPixels);
  lbFeeds->setFont(listFont);
  lbFeeds->installEventFilter(this);

  // Enter always means OK, also while one of these has the focus; Space presses them.
  btCheckAll = NewButton(QStringLiteral("&Check All"), "btCheckAll", this);
  btCheckAll->setAutoDefault(false);
  btUncheckAll = NewButton(QStringLiteral("&Uncheck All"), "btUncheckAll", this);
  btUncheckAll->setAutoDefault(false);
  btOK = NewButton(QLatin1Char('&') + Caption, "btOK", this);
  btOK->setDefault(true);
  btCancel = NewButton(QStringLiteral("Cancel"), "btCancel", this);

  // The list grows with the window; the tick buttons keep to its right, Cancel and OK to
  // the bottom right corner.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  grid->setSpacing(kMargin);
  grid->addWidget(lbFeeds, 0, 0);
  auto* side = new QVBoxLayout();
  side->addWidget(btCheckAll);
  side->addWidget(btUncheckAll);
  side->addStretch(1);
  grid->addLayout(side, 0, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btCancel);
  buttons->addWidget(btOK);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(0, 1);
  setTabOrder(lbFeeds, btCheckAll);
  setTabOrder(btCheckAll, btUncheckAll);
  setTabOrder(btUncheckAll, btCancel);
  setTabOrder(btCancel, btOK);
  lbFeeds->setFocus();

  PopupMenu = new QMenu(this);
  Checkall1 = PopupMenu->addAction(QStringLiteral("Check All"));
  UncheckAll1 = PopupMenu->addAction(QStringLiteral("Uncheck All"));
  InvertSelection1 = PopupMenu->addAction(QStringLiteral("Invert Selection"));
  for (QWidget* owner : {static_cast<QWidget*>(this), static_cast<QWidget*>(lbFeeds)}) {
    owner->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(owner, &QWidget::customContextMenuRequested, this,
            [this, owner](const QPoint& Position) { ShowPopupMenu(owner, Position); });
  }

  connect(btOK, &QPushButton::clicked, this, &TfmImpExp::btOKClick);
  connect(btCancel, &QPushButton::clicked, this, &TfmImpExp::btCancelClick);
  connect(btCheckAll, &QPushButton::clicked, this, &TfmImpExp::Checkall1Click);
  connect(btUncheckAll, &QPushButton::clicked, this, &TfmImpExp::UncheckAll1Click);
  connect(Checkall1, &QAction::triggered, this, &TfmImpExp::Checkall1Click);
  connect(UncheckAll1, &QAction::triggered, this, &TfmImpExp::UncheckAll1Click);
  connect(InvertSelection1, &QAction::triggered, this, &TfmImpExp::InvertSelection1Click);
}

void TfmImpExp::ShowEntries(const TFeedList& List) {
  lbFeeds->clear();
  lines_.clear();
  QTreeWidgetItem* heading = nullptr;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& entry = *List.Feeds(i);
    const bool isHeading = entry.XmlUrl.empty();
    QString caption = ToDisplayTitle(entry.Title, {});
    if (caption.trimmed().isEmpty() && !isHeading) caption = ToDisplayAddress(entry.XmlUrl);
    QTreeWidgetItem* line = nullptr;
    if (isHeading || heading == nullptr)
      line = new QTreeWidgetItem(lbFeeds, QStringList(caption));
    else
      line = new QTreeWidgetItem(heading, QStringList(caption));
    line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   (isHeading ? Qt::ItemIsAutoTristate : Qt::NoItemFlags));
    line->setCheckState(0, Qt::Unchecked);
    line->setData(0, kPositionRole, i);
    if (isHeading) {
      QFont bold = lbFeeds->font();
      bold.setBold(true);
      line->setFont(0, bold);
      heading = line;
    }
    lines_.push_back(line);
  }
  lbFeeds->expandAll();
  if (!lines_.empty()) lbFeeds->setCurrentItem(lines_.front());
}

QTreeWidgetItem* TfmImpExp::Line(int Index) const {
  return lines_.at(static_cast<size_t>(Index));
}

std::vector<int> TfmImpExp::TickedLines() const {
  std::vector<int> ticked;
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i]->checkState(0) != Qt::Unchecked) ticked.push_back(static_cast<int>(i));
  return ticked;
}

void TfmImpExp::btOKClick() {
  accept();
}

void TfmImpExp::btCancelClick() {
  reject();
}

void TfmImpExp::Checkall1Click() {
  for (QTreeWidgetItem* line : lines_)
    if (HasOwnTick(*line)) line->setCheckState(0, Qt::Checked);
}

void TfmImpExp::UncheckAll1Click() {
  for (QTreeWidgetItem* line : lines_)
    if (HasOwnTick(*line)) line->setCheckState(0, Qt::Unchecked);
}

void TfmImpExp::InvertSelection1Click() {
  for (QTreeWidgetItem* line : lines_)
    if (HasOwnTick(*line))
      line->setCheckState(0, line->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TfmImpExp::ToggleSelectedLines() {
  QTreeWidgetItem* current = lbFeeds->currentItem();
  if (!current) return;
  const Qt::CheckState state = current->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked;
  QList<QTreeWidgetItem*> selected = lbFeeds->selectedItems();
  if (!selected.contains(current)) selected << current;
  // Headings first: ticking a heading sets all its feeds, and a feed selected with its
  // heading then keeps the same tick.
  std::stable_partition(selected.begin(), selected.end(),
                        [](const QTreeWidgetItem* Line) { return !HasOwnTick(*Line); });
  for (QTreeWidgetItem* line : selected) line->setCheckState(0, state);
}

bool TfmImpExp::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == lbFeeds && Event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(Event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      ToggleSelectedLines();
      return true;
    }
  }
  return QDialog::eventFilter(Watched, Event);
}

void TfmImpExp::ShowPopupMenu(QWidget* Owner, const QPoint& Position) {
  const QWidget* area = Owner == lbFeeds ? lbFeeds->viewport() : Owner;
  PopupMenu->popup(area->mapToGlobal(Position));
}

std::optional<std::vector<int>> ChooseEntries(const TFeedList& List, const QString& Caption,
                                              QWidget* Parent) {
  TfmImpExp form(Caption, Parent);
  form.ShowEntries(List);
  if (form.exec() != QDialog::Accepted) return std::nullopt;
  return form.TickedLines();
}

}  // namespace skimbrook
