// The automation entry: D-Bus object /org/skimbrook/Popup, interface org.skimbrook.IExpInt,
// method AddFeed(s URL), through which a browser or a script subscribes to a feed.
#pragma once

#include <functional>
#include <string>

namespace skimbrook {

// Registers the automation object on the session bus; call it before the main window is
// created and before FindAndActivateRunningCopy claims the bus name. AddFeed is the main
// window's AddFeed: it runs on the UI thread, may ask the user modally, and reports an
// error by throwing; the caller receives the error text as a D-Bus error. Requests are
// answered one at a time, each as soon as its own question is answered.
void RegisterAutomationObject(std::function<void(const std::string& Url)> AddFeed);

}  // namespace skimbrook
