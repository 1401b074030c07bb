// The one walk over a tree: document order, parents before their children, without
// recursion, so any nesting depth is safe.
#pragma once

#include <cstddef>
#include <vector>

#include "xml/moxXMLParser2.h"

namespace skimbrook {

// Visits Root and every element below it. Enter(Element, Depth) comes before the
// element's children (Depth 0 for Root) and returns whether to go into them; for each
// element gone into, Leave(Element, Depth) follows its children.
template <class TEnter, class TLeave>
void WalkTree(const TmoxXMLNode2& Root, TEnter&& Enter, TLeave&& Leave) {
  struct TFrame {
    const TmoxXMLNode2* Element;
    int NextChild;
  };
  if (!Enter(Root, size_t{0})) return;
  std::vector<TFrame> open{{&Root, 0}};
  while (!open.empty()) {
    TFrame& top = open.back();
    if (top.NextChild < top.Element->Nodes.Count()) {
      const TmoxXMLNode2& child = top.Element->Nodes[top.NextChild++];
      if (Enter(child, open.size())) open.push_back({&child, 0});
    } else {
      const TmoxXMLNode2& done = *top.Element;
      open.pop_back();
      Leave(done, open.size());
    }
  }
}

// The same without anything to do after the children.
template <class TEnter>
void WalkTree(const TmoxXMLNode2& Root, TEnter&& Enter) {
  WalkTree(Root, Enter, [](const TmoxXMLNode2&, size_t) {});
}

}  // namespace skimbrook
