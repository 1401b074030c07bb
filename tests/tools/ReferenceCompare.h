// Runs the fast XML tree and readers and their literal references (ReferenceReaders.h)
// on the same bytes and describes the first difference; empty when there is none.
#pragma once

#include <string>

namespace skimbrook::test {

// The tree, error text, declaration and exception of TmoxXMLParser2.
std::string ParseDifference(const std::string& Source);
// What LoadFeedFromString puts into a feed, or the error it raises.
std::string FeedDifference(const std::string& Source);
// What LoadFeedListFromString puts into a list, its parse error, or the error it raises.
std::string ListDifference(const std::string& Source);

}  // namespace skimbrook::test
