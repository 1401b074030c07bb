#include "ui/fImpExp.h"

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/fDialogSupport.h"

namespace skimbrook {

namespace {

constexpr int kFormWidth = 287;
constexpr int kFormHeight = 360;
constexpr int kLineHeight = 13;
constexpr int kListFontPixels = 11;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// Every line of the check list is kLineHeight pixels high.
class TFixedLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return {QStyledItemDelegate::sizeHint(Option, Index).width(), kLineHeight};
  }
};

}  // namespace

TfmImpExp::TfmImpExp(const QString& Caption, QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmImpExp"));
  SetUpToolDialog(*this, Caption, kFormWidth, kFormHeight, true);

  lbFeeds = new QListWidget(this);
  lbFeeds->setObjectName(QStringLiteral("lbFeeds"));
  lbFeeds->setItemDelegate(new TFixedLineDelegate(lbFeeds));
  lbFeeds->setUniformItemSizes(true);
  QFont listFont = lbFeeds->font();
  listFont.setPixelSize(kListFontPixels);
  lbFeeds->setFont(listFont);

  btOK = new QPushButton(Caption, this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setFixedSize(kButtonWidth, kButtonHeight);
  btOK->setDefault(true);
  btCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setFixedSize(kButtonWidth, kButtonHeight);

  // The list grows with the window; the buttons keep to its bottom right corner.
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kMargin);
  column->addWidget(lbFeeds, 1);
  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(0, 0, kMargin, kMargin);
  buttons->setSpacing(kMargin);
  buttons->addStretch(1);
  buttons->addWidget(btCancel);
  buttons->addWidget(btOK);
  column->addLayout(buttons);
  setTabOrder(lbFeeds, btCancel);
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
  connect(Checkall1, &QAction::triggered, this, &TfmImpExp::Checkall1Click);
  connect(UncheckAll1, &QAction::triggered, this, &TfmImpExp::UncheckAll1Click);
  connect(InvertSelection1, &QAction::triggered, this, &TfmImpExp::InvertSelection1Click);
}

void TfmImpExp::ShowEntries(const TFeedList& List) {
  lbFeeds->clear();
  for (int i = 0; i < List.Count(); ++i) {
    auto* line = new QListWidgetItem(ToDisplayTitle(List.Feeds(i)->Title, {}), lbFeeds);
    line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    line->setCheckState(Qt::Unchecked);
  }
  if (lbFeeds->count() > 0) lbFeeds->setCurrentRow(0);
}

std::vector<int> TfmImpExp::TickedLines() const {
  std::vector<int> ticked;
  for (int i = 0; i < lbFeeds->count(); ++i)
    if (lbFeeds->item(i)->checkState() == Qt::Checked) ticked.push_back(i);
  return ticked;
}

void TfmImpExp::btOKClick() {
  accept();
}

void TfmImpExp::btCancelClick() {
  reject();
}

void TfmImpExp::Checkall1Click() {
  for (int i = 0; i < lbFeeds->count(); ++i) lbFeeds->item(i)->setCheckState(Qt::Checked);
}

void TfmImpExp::UncheckAll1Click() {
  for (int i = 0; i < lbFeeds->count(); ++i) lbFeeds->item(i)->setCheckState(Qt::Unchecked);
}

void TfmImpExp::InvertSelection1Click() {
  for (int i = 0; i < lbFeeds->count(); ++i) {
    QListWidgetItem* line = lbFeeds->item(i);
    line->setCheckState(line->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
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
