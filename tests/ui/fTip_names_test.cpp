// The tips and the help page send the user to menu entries and keys: each one they name
// must be the one the menus have.
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <map>
#include <set>

#include "MainWindowFixture.h"
#include "tools/TestSupport.h"
#include "ui/dialogs/fTip.h"

namespace skimbrook::test {

namespace {

class NamesInTipsAndHelp : public MainWindowTest {
 protected:
  // Every menu entry by its caption (without the mnemonic's "&"), with its keys.
  std::map<QString, QList<QKeySequence>> MenuEntries() const {
    std::map<QString, QList<QKeySequence>> entries;
    for (const QAction* menu : window->menuBar()->actions())
      for (const QAction* entry : menu->menu()->actions())
        if (!entry->isSeparator())
          entries[QString(entry->text()).remove(QLatin1Char('&'))] = entry->shortcuts();
    return entries;
  }

  static bool HasKey(const QList<QKeySequence>& Keys, QString Written) {
    // Tips write "Ctrl-L", the help page "Ctrl+L"; Enter is the big key (Return) as well.
    Written.replace(QLatin1Char('-'), QLatin1Char('+'));
    const QKeySequence key = QKeySequence::fromString(Written);
    const QKeySequence returnKey = QKeySequence::fromString(QString(Written).replace("Enter", "Return"));
    return Keys.contains(key) || Keys.contains(returnKey);
  }
};

TEST_F(NamesInTipsAndHelp, EveryTipNamesEntriesAndKeysTheMenusAndToolbarHave) {
  Open();
  const auto entries = MenuEntries();
  std::set<QString> toolbar;
  for (const char* name : {"sbAddFeed", "sbCheckFeed", "sbCatchUp", "sbCheckAll"})
    toolbar.insert(Ui().Named<QAbstractButton>(name)->text().remove(QLatin1Char('&')));
  // Names of other programs' menus.
  const std::set<QString> elsewhere = {"Subscribe in Skimbrook", "Copy link"};
  static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
  static const QRegularExpression keys(QStringLiteral("\\b(Ctrl-[A-Z]|Alt\\+Enter|F\\d+|Del)\\b"));

  TfmTip form;
  for (int number = 1; number <= TipCount; ++number) {
    form.TipIndex = number - 2;
    form.NextTip();
    const QString tip = form.Memo->toPlainText();
    ASSERT_TRUE(tip.startsWith(QStringLiteral("Tip %1:").arg(number))) << tip.toStdString();
    QList<QKeySequence> named;
    for (const auto& match : quoted.globalMatch(tip)) {
      const QString name = match.captured(1);
      if (const auto entry = entries.find(name); entry != entries.end()) {
        named << entry->second;
      } else {
        EXPECT_TRUE(toolbar.count(name) || elsewhere.count(name))
            << "tip " << number << ": " << name.toStdString();
      }
    }
    for (const auto& match : keys.globalMatch(tip))
      EXPECT_TRUE(HasKey(named, match.captured(1)))
          << "tip " << number << ": " << match.captured(1).toStdString() << " is not the key of its entry";
  }
}

TEST_F(NamesInTipsAndHelp, EveryEntryOfTheHelpsMenuTablesIsInTheMenusWithItsKey) {
  Open();
  const auto entries = MenuEntries();
  const QString page = QString::fromStdString(ReadFile(DataPath() + "../../packaging/help.html"));
  static const QRegularExpression row(
      QStringLiteral("<tr><td>([^<]+)</td><td class=\"key\">(?:<kbd>([^<]+)</kbd>)?</td>"));
  int rows = 0;
  for (const auto& match : row.globalMatch(page)) {
    ++rows;
    const QString name = match.captured(1);
    const auto entry = entries.find(name);
    ASSERT_TRUE(entry != entries.end()) << name.toStdString() << " is not in the menus";
    if (!match.captured(2).isEmpty()) {
      EXPECT_TRUE(HasKey(entry->second, match.captured(2)))
          << name.toStdString() << ": " << match.captured(2).toStdString();
    }
  }
  EXPECT_GE(rows, 25) << "the menu tables were not found";
}

}  // namespace

}  // namespace skimbrook::test
