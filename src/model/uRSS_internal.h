// Pieces of the stored formats shared by the sources of uRSS, the tests and the fuzz
// targets. Not for the windows: they use uRSS.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"

namespace skimbrook {

class TmoxXMLNode2;

// As TFeed::LoadFromFile, with the document's bytes given directly.
void LoadFeedFromString(TFeed& Feed, std::string Source);
// As TFeedList::LoadFromFile, with the document's bytes given directly.
void LoadFeedListFromString(TFeedList& List, std::string Source);

// The element E written back as markup: CR, start tag with its attributes as stored
// (values in apostrophes), its text, its children, end tag, CR; "/>" for an element
// without text and children. Works without recursion at any depth.
std::string SerializeElement(const TmoxXMLNode2& E);

// The lines of the feed's cache file in the program's own form (each to be ended by CR LF).
std::vector<std::string> CacheFileLines(const TFeed& Feed);
// The lines of the subscription list as an OPML file (each to be ended by CR LF).
std::vector<std::string> OpmlLines(const TFeedList& List);

// Trim(XmlUnescape(Raw)); takes Raw's bytes over when there is nothing to decode, so Raw
// may be left empty.
std::string TakeDecoded(std::string& Raw);
// Letter case ignored for ASCII letters only: every other byte must be equal.
bool SameText(std::string_view A, std::string_view B);

}  // namespace skimbrook
