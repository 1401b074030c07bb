// The engine module's entry points, looked up by name when the program loads it.
#include "ui/browser/uWebEngineBrowser.h"
#include "ui/dialogs/fHelp.h"

namespace {

// The scheme of pages given as text must be known before the engine creates anything.
void RegisterPageSchemeOnce() {
  static const bool registered = (skimbrook::RegisterPageScheme(), true);
  (void)registered;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) skimbrook::TWebBrowser* SkimbrookNewWebBrowser(QWidget* Parent) {
  RegisterPageSchemeOnce();
  return skimbrook::NewWebEngineBrowser(Parent);
}

__attribute__((visibility("default"))) void SkimbrookShowHelp(QWidget* Parent) {
  RegisterPageSchemeOnce();
  skimbrook::ShowHelpWindow(Parent);
}
}
