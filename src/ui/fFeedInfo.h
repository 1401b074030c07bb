// The feed info dialog: a feed's title and its two addresses, read-only, to copy.
#pragma once

class QWidget;

namespace skimbrook {

class TFeed;

// Shows the dialog modally for Feed; changes nothing.
void ShowFeedInfo(const TFeed& Feed, QWidget* Parent);

}  // namespace skimbrook
