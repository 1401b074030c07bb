#include "tools/LiteralUnescape.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace skimbrook::test {

namespace {

char LowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

bool EqualIgnoreCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
  return true;
}

// The first position at or after From where Find occurs, or npos.
size_t FindIgnoreCase(std::string_view Text, std::string_view Find, size_t From) {
  for (size_t i = From; i + Find.size() <= Text.size(); ++i)
    if (EqualIgnoreCase(Text.substr(i, Find.size()), Find)) return i;
  return std::string_view::npos;
}

std::vector<TUnescapeStep> BuildSteps() {
  std::vector<TUnescapeStep> steps = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"},   {"&amp;", "&"},
      {"\\n", "\r"}, {"\\t", "\t"}, {"&#8217;", "'"}, {"&#8220;", "\""}, {"&#8221;", "\""},
  };
  for (int n = 1; n <= 255; ++n)
    steps.push_back({"&#" + std::to_string(n) + ";", std::string(1, static_cast<char>(n))});
  for (int n = 10; n <= 99; ++n)
    steps.push_back({"&#0" + std::to_string(n) + ";", std::string(1, static_cast<char>(n))});
  return steps;
}

// Up to 7 bytes, letters folded, and their count packed into one number.
uint64_t FoldedKey(std::string_view Bytes) {
  uint64_t key = uint64_t{Bytes.size()} << 56;
  for (size_t i = 0; i < Bytes.size(); ++i)
    key |= uint64_t{static_cast<unsigned char>(LowerAscii(Bytes[i]))} << (8 * i);
  return key;
}

// Finds, for one text, the next step that has something to find in it, so that the
// others can be passed over without a scan each. Only saves time: a step whose Find does
// not occur leaves the text as it is. The Finds sit in a small open-addressing table
// keyed by FoldedKey.
class TStepIndex {
 public:
  TStepIndex() {
    const std::vector<TUnescapeStep>& steps = UnescapeSteps();
    if (steps.size() > kSlots / 2) throw std::logic_error("too many steps for the index");
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::string& find = steps[i].Find;
      if (find.empty() || find.size() > 7) throw std::logic_error("a step's Find must have 1 to 7 bytes");
      startsFind_[static_cast<unsigned char>(LowerAscii(find[0]))] = true;
      maxLength_ = std::max(maxLength_, find.size());
      size_t slot = Slot(FoldedKey(find));
      while (keys_[slot] != 0) slot = (slot + 1) % kSlots;
      keys_[slot] = FoldedKey(find);
      steps_[slot] = i;
    }
  }

  // The first step from From on whose Find occurs in Text, or the number of steps.
  size_t FirstStepThatFinds(std::string_view Text, size_t From) const {
    size_t first = UnescapeSteps().size();
    for (size_t at = 0; at < Text.size(); ++at) {
      if (!startsFind_[static_cast<unsigned char>(LowerAscii(Text[at]))]) continue;
      for (size_t length = 1; length <= maxLength_ && at + length <= Text.size(); ++length) {
        const uint64_t key = FoldedKey(Text.substr(at, length));
        for (size_t slot = Slot(key); keys_[slot] != 0; slot = (slot + 1) % kSlots)
          if (keys_[slot] == key && steps_[slot] >= From && steps_[slot] < first) first = steps_[slot];
      }
    }
    return first;
  }

 private:
  static constexpr size_t kSlots = 1024;
  static size_t Slot(uint64_t Key) { return static_cast<size_t>((Key * 0x9E3779B97F4A7C15ULL) >> 54); }

  bool startsFind_[256] = {};
  size_t maxLength_ = 0;
  uint64_t keys_[kSlots] = {};  // 0: free (a key holds its length, so never 0)
  size_t steps_[kSlots] = {};
};

}  // namespace

const std::vector<TUnescapeStep>& UnescapeSteps() {
  static const std::vector<TUnescapeStep> steps = BuildSteps();
  return steps;
}

std::string ReplaceAllIgnoreCase(std::string_view Text, std::string_view Find, std::string_view ReplaceBy) {
  std::string result;
  size_t from = 0;
  for (size_t hit = FindIgnoreCase(Text, Find, 0); hit != std::string_view::npos;
       hit = FindIgnoreCase(Text, Find, from)) {
    result.append(Text.substr(from, hit - from));
    result.append(ReplaceBy);
    from = hit + Find.size();
  }
  result.append(Text.substr(from));
  return result;
}

std::string LiteralUnescapeOnce(std::string_view Text) {
  static const TStepIndex index;
  const std::vector<TUnescapeStep>& steps = UnescapeSteps();
  std::string text(Text);
  for (size_t i = index.FirstStepThatFinds(text, 0); i < steps.size();
       i = index.FirstStepThatFinds(text, i + 1))
    text = ReplaceAllIgnoreCase(text, steps[i].Find, steps[i].ReplaceBy);
  return text;
}

std::string LiteralUnescape(std::string_view Text) {
  return LiteralUnescapeOnce(LiteralUnescapeOnce(Text));
}

}  // namespace skimbrook::test
