// Placeholders until the dialogs land; each does what Cancel would.
#include "ui/fFeedInfo.h"
#include "ui/fHelp.h"
#include "ui/fOptions.h"
#include "ui/fProxySettings.h"
#include "ui/fTip.h"

namespace skimbrook {

void RunTipDialog(bool&, QWidget*) {}
bool EditOptions(TSettings&, QWidget*) { return false; }
bool EditProxySettings(TSettings&, QWidget*) { return false; }
void ShowFeedInfo(const TFeed&, QWidget*) {}
void ShowHelp(QWidget*) {}

}  // namespace skimbrook
