// The web engine as the program uses it: a module of its own (skimbrook-webengine.so),
// loaded once the window has been painted, or for Help. Linking the engine's libraries into
// the program would make every start wait for their loading before the window is shown.
#pragma once

class QWidget;

namespace skimbrook {

class TWebBrowser;

// The browser over the web engine, owned by Parent: it loads the module and starts the
// engine after the window's first paint. When the module cannot be loaded, a pane that
// says why takes the engine's place.
TWebBrowser* CreateWebEngineBrowser(QWidget* Parent);

// Shows the help window, which needs the engine too; when the module cannot be loaded, a
// message says why.
void ShowHelp(QWidget* Parent);

}  // namespace skimbrook
