// Import and export of subscription lists through the import/export dialog, which is
// still to come; until then both commands do nothing.
#include "ui/fMain.h"

namespace skimbrook {

void TfmMain::ImportFeeds() {}
void TfmMain::ExportFeeds() {}

}  // namespace skimbrook
