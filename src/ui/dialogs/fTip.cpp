#include "ui/dialogs/fTip.h"

#include <chrono>
#include <random>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include "ui/dialogs/fDialogSupport.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

namespace {

// Design size of the form; the memo and the controls below it follow a larger window.
constexpr int kFormWidth = 393;
constexpr int kFormHeight = 245;

const QString& TipText(int Index) {
  static const QString Tips[TipCount] = {
      QStringLiteral("To get the latest version of Skimbrook, visit the download page of its web site, ") +
          QLatin1String(product::kHomePage) + QStringLiteral("download.html."),
      QStringLiteral(
          "To subscribe to a feed click on its feed: link in your web browser and choose \"Subscribe "
          "in Skimbrook\" when the browser asks which program to open it with."),
      QStringLiteral("To switch to browser mode press Ctrl-B or select \"Browser\" from the View menu."),
      QStringLiteral("To return from browser mode press Ctrl-B or select \"Browser\" from the View menu or "
                     "press the last button on the browser toolbar."),
      QStringLiteral("To show or hide the list of the feeds press F11 or select \"Feed List\" from the View "
                     "menu."),
      QStringLiteral(
          "To show or hide the item content pane press F12 or select \"Item Contents\" from the View "
          "menu."),
      QStringLiteral("To read the full story click on the story link or press Ctrl-L or select \"Follow "
                     "Link\" from the View menu."),
      QStringLiteral(
          "To visit a feed's web site click on the feed's link or press Ctrl-W or select \"Feed Web "
          "Site\" from the View menu."),
      QStringLiteral(
          "To mark all entries from the current feed as read, press F2 or select \"Catch Up Feed\" "
          "from the Tools menu or \"Catch Up\" from the toolbar."),
      QStringLiteral("To mark all entries from the current group as read, press F3 or select \"Catch Up "
                     "Group\" from the Tools menu."),
      QStringLiteral(
          "To mark all entries from all feeds as read, press F4 or select \"Catch Up All\" from the "
          "Tools menu."),
      QStringLiteral("To check the current feed for updates press F5 or select \"Download Feed\" from the "
                     "Tools menu or \"Check Feed\" from the toolbar."),
      QStringLiteral("To check all feeds of a group for updates press F6 or select \"Download Group\" from "
                     "the Tools menu."),
      QStringLiteral("To check all feeds for updates press F7 or select \"Download All\" from the Tools menu "
                     "or \"Check All\" from the toolbar."),
      QStringLiteral("To import somebody's subscriptions select \"Import...\" from the File menu."),
      QStringLiteral("To export your list of subscriptions select \"Export...\" from the File menu."),
      QStringLiteral("To add a feed press Ctrl-A or select \"Add Feed\" from the File menu or the toolbar."),
      QStringLiteral("To add a group (separator) press Ctrl-G or select \"Add Group\" from the File menu."),
      QStringLiteral("To remove a feed or a group (separator) press Del or select \"Remove Feed/Group\" from "
                     "the File menu."),
      QStringLiteral("To see information about the current feed press Alt+Enter or select \"Feed Info\" from "
                     "the File menu."),
      QStringLiteral("To find feeds on a subject, select \"Search ") +
          QLatin1String(product::kDirectoryName) +
          QStringLiteral("...\" from the File menu and enter a few keywords; the matches from ") +
          QLatin1String(product::kDirectoryHost) + QStringLiteral(" open in browser mode."),
      QStringLiteral("To search the items of all your feeds, older ones included, press Ctrl-F or select "
                     "\"Find Items...\" from the View menu and type a few words."),
      QStringLiteral("To keep an item for good, press Ctrl-S or select \"Star Item\" from the Tools menu; "
                     "\"Starred Items\" in the View menu lists every starred item."),
      QStringLiteral(
          "To copy the URL of a feed in your web browser right click on the orange XML or RSS icon "
          "and select \"Copy link\" from the popup menu."),
  };
  return Tips[Index];
}

// One generator for the whole run, seeded from the clock on first use, so that every
// opening of the dialog starts somewhere new.
int RandomTipStart() {
  static std::mt19937 Generator(
      static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()));
  return std::uniform_int_distribution<int>(0, 999)(Generator);
}

}  // namespace

int NextTipIndex(int Index) {
  return (Index % TipCount + 1) % TipCount;
}

TfmTip::TfmTip(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmTip"));
  SetUpToolDialog(*this, QStringLiteral("Tip of the day"), kFormWidth, kFormHeight, true);

  Memo = new QPlainTextEdit(this);
  Memo->setObjectName(QStringLiteral("Memo"));
  Memo->setReadOnly(true);
  Memo->setFocusPolicy(Qt::ClickFocus);
  QFont Font(QStringLiteral("Verdana"));
  Font.setPixelSize(13);
  Memo->setFont(Font);
  cbShowTips = new QCheckBox(QStringLiteral("&Show tips on start up"), this);
  cbShowTips->setObjectName(QStringLiteral("cbShowTips"));
  btOK = AddButton(*this, QStringLiteral("&Next Tip"), 0, 0);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btCancel = AddButton(*this, QStringLiteral("&Close"), 0, 0);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  setTabOrder(btOK, btCancel);
  setTabOrder(btCancel, cbShowTips);
  btOK->setFocus();

  connect(btOK, &QPushButton::clicked, this, &TfmTip::NextTip);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmTip::resizeEvent(QResizeEvent* Event) {
  // The memo grows with the window; the controls under it keep their distance from the
  // bottom, the buttons also from the right edge.
  const int Width = Event->size().width(), Height = Event->size().height();
  Memo->setGeometry(12, 8, Width - 2 * 12, Height - (kFormHeight - 181));
  cbShowTips->setGeometry(12, Height - (kFormHeight - 216), 200, 17);
  btOK->move(Width - (kFormWidth - 222), Height - (kFormHeight - 212));
  btCancel->move(Width - (kFormWidth - 306), Height - (kFormHeight - 212));
  QDialog::resizeEvent(Event);
}

void TfmTip::NextTip() {
  TipIndex = NextTipIndex(TipIndex);
  Memo->setPlainText(QStringLiteral("Tip %1:  ").arg(TipIndex + 1) + TipText(TipIndex));
}

void RunTipDialog(bool& ShowTips, QWidget* Parent) {
  TfmTip Form(Parent);
  Form.cbShowTips->setChecked(ShowTips);
  Form.TipIndex = RandomTipStart();
  Form.NextTip();
  Form.exec();
  ShowTips = Form.cbShowTips->isChecked();
}

}  // namespace skimbrook
