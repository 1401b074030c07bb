// The browser over the web engine. It is built twice: into the engine module the program
// loads once its window is shown (so that starting the program never waits for the
// engine's libraries), and into the tests, which use it directly.
#pragma once

#include "ui/browser/uWebBrowser.h"

namespace skimbrook {

// Registers the URL scheme that serves pages given as text. Must run before the engine
// creates anything.
void RegisterPageScheme();

// The browser over the web engine, owned by Parent.
TWebBrowser* NewWebEngineBrowser(QWidget* Parent);

}  // namespace skimbrook
