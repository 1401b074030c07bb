// The names under which the program is reached on the session bus.
#pragma once

namespace skimbrook {

// The well-known name the one running copy owns; D-Bus activation starts the program for it.
inline constexpr char BusServiceName[] = "org.skimbrook.Skimbrook";

// The automation object through which a browser or a script subscribes to a feed.
inline constexpr char PopupObjectPath[] = "/org/skimbrook/Popup";
inline constexpr char PopupInterface[] = "org.skimbrook.IExpInt";

// The object a later copy calls to bring the running copy forward and hand it its command line.
inline constexpr char ActivationObjectPath[] = "/org/skimbrook/Skimbrook";
inline constexpr char ActivationInterface[] = "org.skimbrook.Skimbrook";

// The error name an AddFeed failure carries back to the caller, with the failure's text.
inline constexpr char AddFeedErrorName[] = "org.skimbrook.IExpInt.Error.Failed";

}  // namespace skimbrook
