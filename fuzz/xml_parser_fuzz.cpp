// Feeds arbitrary bytes to the XML parser. Besides memory errors it checks that the
// parser's promises hold: a malformed declaration is the only exception, a clean parse
// has no error text and a failed one starts with a known message, every element points
// back at its parent and document, and Xml of a small tree is well-formed enough to
// start with the declaration line; and that tree, error text and declaration are exactly
// those of the literal reference parser.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ReferenceCompare.h"
#include "xml/moxStrings.h"
#include "xml/moxXMLParser2.h"

namespace {

using skimbrook::IsTrimByte;
using skimbrook::TmoxXMLNode2;
using skimbrook::TmoxXMLParser2;

// Aborts, naming the broken promise, so that libFuzzer keeps the input.
#define Check(Condition)                                                    \
  do {                                                                      \
    if (!(Condition)) {                                                     \
      std::fprintf(stderr, "broken: %s (line %d)\n", #Condition, __LINE__); \
      std::abort();                                                         \
    }                                                                       \
  } while (false)

bool IsAttributeMessage(std::string_view Text) {
  return Text.ends_with(" when parsing attributes");
}

bool StartsWithScanMessage(std::string_view Text) {
  for (std::string_view message :
       {"Missing < near ", "Missing > near ", "Expected < when parsing text near ",
        "Expected ]]> when parsing CDATA section near ", "End tag without an open element near ",
        "missing = when parsing attributes near ", "missing value delimiter when parsing attributes near ",
        "Expected closing \" when parsing attributes near ",
        "Expected closing ' when parsing attributes near "}) {
    if (Text.starts_with(message)) return true;
  }
  return false;
}

// Walks the tree without recursion; returns the number of elements.
size_t CheckTree(const TmoxXMLParser2& Document) {
  Check(Document.Parent == nullptr);
  size_t count = 0;
  std::vector<const TmoxXMLNode2*> pending{&Document};
  while (!pending.empty()) {
    const TmoxXMLNode2* node = pending.back();
    pending.pop_back();
    ++count;
    Check(node->Text.empty() || (!IsTrimByte(node->Text.front()) && !IsTrimByte(node->Text.back())));
    for (int i = 0; i < node->AttributeCount(); ++i) {
      Check(node->AttributeIndex(node->AttributeName(i)) == i);
    }
    for (const auto& child : node->Nodes) {
      const TmoxXMLNode2* first = node->FindNode(child->Name);
      Check(first != nullptr && first->Name == child->Name);
      Check(child->Parent == node);
      Check(child->Document == &Document);
      pending.push_back(child.get());
    }
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The reference works recursively; a few thousand bytes nest deep enough.
  if (Size <= 8192) {
    const std::string difference =
        skimbrook::test::ParseDifference(std::string(reinterpret_cast<const char*>(Data), Size));
    if (!difference.empty()) std::fprintf(stderr, "differs from the reference: %s\n", difference.c_str());
    Check(difference.empty());
  }
  TmoxXMLParser2 doc;
  try {
    doc.LoadFromString(std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const std::runtime_error& e) {
    Check(IsAttributeMessage(e.what()));
    return 0;
  }
  Check(doc.LastError.empty() || doc.LastError == "Missing ?> in xml declaration." ||
        StartsWithScanMessage(doc.LastError));
  const size_t elements = CheckTree(doc);
  if (elements < 2000) {
    const std::string xml = doc.Xml();
    Check(xml.starts_with("<?xml version='"));
    Check(xml.ends_with(">"));
  }
  return 0;
}
