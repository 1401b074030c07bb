// The text functions of the stored formats: escaping for the files the program writes,
// decoding of entity references and backslash sequences in what it reads, and three small
// filters. Text is 8-bit and handled byte for byte; no function fails.
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"

namespace skimbrook {

// =======================================================================================
// Escaping

std::string XmlEscape(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 8);
  for (char c : Text) {
    const auto code = static_cast<unsigned char>(c);
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        // 128 is written as itself: only 129 and above become references.
        if (code <= 128) {
          out += c;
        } else {
          const char reference[] = {'&',
                                    '#',
                                    static_cast<char>('0' + code / 100),
                                    static_cast<char>('0' + code / 10 % 10),
                                    static_cast<char>('0' + code % 10),
                                    ';'};
          out.append(reference, sizeof reference);
        }
    }
  }
  return out;
}

// =======================================================================================
// Decoding
//
// One decoding pass is defined as 355 replace-all steps applied in this order, each
// replacing every occurrence of one pattern by one character, comparing ASCII letters
// without regard to case, left to right without overlaps, never rescanning what it just
// inserted, while a later step sees what the earlier ones produced:
//   1-5   &lt; &gt; &quot; &apos; &amp;  ->  < > " ' &
//   6-7   \n \t                          ->  CR TAB
//   8-10  &#8217; &#8220; &#8221;        ->  ' " "
//   11    &#N;   for N = 1, 2, ... 255 (no leading zeros)  ->  the byte N
//   12    &#0NN; for NN = 10, 11, ... 99                   ->  the byte NN
// The scan below gives the same bytes in one pass over the text. Why it may:
//  a. Every pattern starts with '&' or '\' and holds no other '&' or '\', and no two
//     patterns match at the same place (the named ones differ early, the numeric ones end
//     at their first ';'). So at any moment all occurrences of all patterns are disjoint:
//     a step never disturbs an occurrence that a later step will replace, and "left to
//     right without overlaps" replaces every occurrence.
//  b. A step turns each occurrence into one character. Two characters that it did not
//     touch are neighbours afterwards only if they were before, so an occurrence that a
//     step creates contains a character that some earlier step inserted.
//  c. Steps 1-4 and 6-10 insert characters that no pattern contains; step 5 inserts '&',
//     which only steps 8-12 can use. So steps 1-7 act on the original text, each
//     occurrence on its own (a '&' from &amp; is not decoded again as &amp;lt;).
//  d. Steps 8-12 use only '&', '#', digits and ';'. Once steps 1-7 are done, any other
//     character is never replaced, so it splits the text into runs of those four
//     characters that decode independently, and in a run nothing left of its first '&'
//     ever changes.
//  e. In a run, a byte inserted by step 11 or 12 can join a new occurrence only if it is
//     '&', '#', a digit or ';' (N = 35, 38, 48..57, 59), and only one of a later step: a
//     greater N, or any step 12 after step 11. A run whose references all decode to other
//     bytes is decoded by replacing each reference where it stands. The rare other runs go
//     through TRunDecoder, which replays steps 8-12 on that run alone, visiting only its
//     references and the ones that decoded bytes form.
namespace {

// Steps 8-12 numbered in their order: 0..2 the typographic quotes, 3..257 &#N; with
// N = step - 2, 258..347 &#0NN; with NN = step - 248.
constexpr int kNoStep = -1;
constexpr int kNumericSteps = 348;

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

// The characters that steps 8-12 look at.
bool IsRunChar(char C) {
  return C == '&' || C == '#' || C == ';' || IsDigit(C);
}

// C with bit 5 set: equals a lowercase ASCII letter exactly when C is that letter in
// either case.
char Folded(char C) {
  return static_cast<char>(C | 0x20);
}

// The step that replaces "&#" Digits ";", or kNoStep.
int NumericStep(const char* Digits, size_t Count) {
  if (Count == 0 || Count > 4) return kNoStep;
  if (Count == 4) {
    if (Digits[0] != '8' || Digits[1] != '2') return kNoStep;
    if (Digits[2] == '1' && Digits[3] == '7') return 0;
    if (Digits[2] == '2' && Digits[3] == '0') return 1;
    if (Digits[2] == '2' && Digits[3] == '1') return 2;
    return kNoStep;
  }
  if (Digits[0] == '0') {
    if (Count == 3 && Digits[1] != '0') return 248 + (Digits[1] - '0') * 10 + (Digits[2] - '0');
    return kNoStep;
  }
  int value = 0;
  for (size_t i = 0; i < Count; ++i) value = value * 10 + (Digits[i] - '0');
  return value <= 255 ? 2 + value : kNoStep;
}

char StepChar(int Step) {
  if (Step == 0) return '\'';
  if (Step <= 2) return '"';
  return static_cast<char>(Step <= 257 ? Step - 2 : Step - 248);
}

struct TNamedEntity {
  char Char = 0;
  int Length = 0;  // 0: none
};

// The named entity at P (which holds '&'), with Avail bytes from P to the end.
TNamedEntity MatchNamedEntity(const char* P, size_t Avail) {
  if (Avail >= 4 && P[3] == ';' && Folded(P[2]) == 't') {
    if (Folded(P[1]) == 'l') return {'<', 4};
    if (Folded(P[1]) == 'g') return {'>', 4};
  }
  if (Avail >= 5 && P[4] == ';' && Folded(P[1]) == 'a' && Folded(P[2]) == 'm' && Folded(P[3]) == 'p')
    return {'&', 5};
  if (Avail >= 6 && P[5] == ';') {
    if (Folded(P[1]) == 'q' && Folded(P[2]) == 'u' && Folded(P[3]) == 'o' && Folded(P[4]) == 't')
      return {'"', 6};
    if (Folded(P[1]) == 'a' && Folded(P[2]) == 'p' && Folded(P[3]) == 'o' && Folded(P[4]) == 's')
      return {'\'', 6};
  }
  return {};
}

// The step of a numeric reference "#digits;" that starts at P (just after its '&'), and
// its length from P through the ';'.
int MatchNumeric(const char* P, const char* End, size_t& Length) {
  if (P == End || *P != '#') return kNoStep;
  const char* digits = P + 1;
  const char* q = digits;
  while (q < End && q - digits <= 4 && IsDigit(*q)) ++q;
  if (q == End || *q != ';') return kNoStep;
  Length = static_cast<size_t>(q + 1 - P);
  return NumericStep(digits, static_cast<size_t>(q - digits));
}

// Writes at Out the run that starts with the '&' at P as steps 1-7 leave it: '&' for
// &amp;, up to the first byte of no numeric reference (a named entity other than &amp;
// included). Returns where the run ends in the input.
const char* GatherRun(const char* P, const char* End, char*& Out) {
  while (P < End) {
    if (*P == '&') {
      const TNamedEntity named = MatchNamedEntity(P, static_cast<size_t>(End - P));
      if (named.Length && named.Char != '&') break;
      *Out++ = '&';
      P += named.Length ? named.Length : 1;
    } else if (IsRunChar(*P)) {
      *Out++ = *P++;
    } else {
      break;
    }
  }
  return P;
}

// Replays steps 8-12 on one run whose decoded bytes may form new references. The run is
// a linked list of its bytes; a reference collapses into its first node. Pending
// references wait in one bucket per step, and the steps are visited in order, so the
// work is linear in the run's length. Made once per pass when first needed, then reused.
class TRunDecoder {
 public:
  TRunDecoder() { heads_.fill(-1); }
  TRunDecoder(const TRunDecoder&) = delete;
  TRunDecoder& operator=(const TRunDecoder&) = delete;

  // Decodes in place the Count bytes at Run, which start with '&'. Returns the decoded
  // length.
  size_t Decode(char* Run, size_t Count) {
    Prepare(Run, Count);
    for (int node = 0; node >= 0; node = next_[node]) {
      if (chars_[node] != '&') continue;
      const int step = ReferenceAt(node, node);
      if (step != kNoStep) Schedule(step, node);
    }
    // Every scheduled reference is taken out again, so the buckets end empty.
    for (int step = NextPendingStep(0); step >= 0; step = NextPendingStep(step + 1)) {
      while (heads_[step] >= 0) {
        const int entry = heads_[step];
        heads_[step] = entryNext_[entry];
        Replace(entryNode_[entry], step);
      }
    }
    size_t length = 0;  // the list runs in increasing positions, so this never overtakes
    for (int node = 0; node >= 0; node = next_[node]) Run[length++] = chars_[node];
    return length;
  }

 private:
  static constexpr size_t kInlineBytes = 64;

  // Links the bytes. A run of N bytes holds at most N/4 references and makes at most one
  // new one per replacement, which removes at least 3 bytes: fewer than N entries.
  void Prepare(char* Run, size_t Count) {
    int* storage = inline_.data();
    if (Count > kInlineBytes) {
      heap_.resize(4 * Count);
      storage = heap_.data();
    }
    chars_ = Run;
    next_ = storage;
    prev_ = storage + Count;
    entryNode_ = storage + 2 * Count;
    entryNext_ = storage + 3 * Count;
    entries_ = 0;
    count_ = static_cast<int>(Count);
    for (int i = 0; i < count_; ++i) {
      next_[i] = i + 1 < count_ ? i + 1 : -1;
      prev_[i] = i - 1;
    }
  }

  // The step of the reference whose '&' is node At, provided it contains node Inside.
  int ReferenceAt(int At, int Inside) const {
    bool inside = At == Inside;
    int node = next_[At];
    if (node < 0 || chars_[node] != '#') return kNoStep;
    inside |= node == Inside;
    char digits[5];
    size_t count = 0;
    for (node = next_[node]; node >= 0 && count < sizeof digits && IsDigit(chars_[node]);
         node = next_[node]) {
      digits[count++] = chars_[node];
      inside |= node == Inside;
    }
    if (node < 0 || chars_[node] != ';') return kNoStep;
    inside |= node == Inside;
    return inside ? NumericStep(digits, count) : kNoStep;
  }

  void Schedule(int Step, int Node) {
    assert(entries_ < count_);
    entryNode_[entries_] = Node;
    entryNext_[entries_] = heads_[Step];
    heads_[Step] = entries_++;
    pending_[Step / 64] |= uint64_t{1} << (Step % 64);
  }

  // The first step from From on with references waiting, or -1; clears its mark, since
  // only later steps can receive new references while it is being emptied.
  int NextPendingStep(int From) {
    for (int word = From / 64; word < static_cast<int>(pending_.size()); ++word) {
      uint64_t bits = pending_[word];
      if (word == From / 64) bits &= ~uint64_t{0} << (From % 64);
      if (bits) {
        const int step = word * 64 + __builtin_ctzll(bits);
        pending_[word] &= ~(uint64_t{1} << (step % 64));
        return step;
      }
    }
    return -1;
  }

  // Collapses the reference at Node into its decoded byte and schedules the reference
  // that this byte completes, when it belongs to a later step.
  void Replace(int Node, int Step) {
    assert(ReferenceAt(Node, Node) == Step);
    int last = next_[Node];
    while (chars_[last] != ';') last = next_[last];
    const int after = next_[last];
    next_[Node] = after;
    if (after >= 0) prev_[after] = Node;
    chars_[Node] = StepChar(Step);
    if (!IsRunChar(chars_[Node])) return;
    // A reference holds one '&', first, and one ';', last, in at most 7 bytes.
    int start = Node;
    for (int back = 0; chars_[start] != '&'; ++back) {
      start = prev_[start];
      if (back == 6 || start < 0 || chars_[start] == ';') return;
    }
    const int formed = ReferenceAt(start, Node);
    if (formed > Step) Schedule(formed, start);
  }

  char* chars_ = nullptr;
  int* next_ = nullptr;
  int* prev_ = nullptr;
  int* entryNode_ = nullptr;  // pending references: their first node
  int* entryNext_ = nullptr;  // the next entry of the same step, or -1
  int entries_ = 0;
  int count_ = 0;
  std::array<int, 4 * kInlineBytes> inline_;
  std::vector<int> heap_;
  std::array<int, kNumericSteps> heads_;
  std::array<uint64_t, (kNumericSteps + 63) / 64> pending_{};
};

// Decodes the run that starts with the '&' at P (steps 1-7 already applied to that '&')
// and writes it at Out. Returns where the run ends in the input. A named entity other
// than &amp; ends the run; it is written here too, as its character ends any run.
const char* DecodeRun(const char* P, const char* End, char*& Out, std::optional<TRunDecoder>& Slow) {
  const char* const start = P;
  char* const outStart = Out;
  while (P < End) {
    if (*P != '&') {
      if (!IsRunChar(*P)) break;
      *Out++ = *P++;
      continue;
    }
    const TNamedEntity named = MatchNamedEntity(P, static_cast<size_t>(End - P));
    if (named.Length && named.Char != '&') {
      if (P != start) break;  // the caller writes it after this run
      *Out++ = named.Char;
      return P + named.Length;
    }
    P += named.Length ? named.Length : 1;
    size_t length = 0;
    const int step = MatchNumeric(P, End, length);
    if (step == kNoStep) {
      *Out++ = '&';
      continue;
    }
    const char decoded = StepChar(step);
    if (IsRunChar(decoded)) {
      Out = outStart;
      const char* runEnd = GatherRun(start, End, Out);
      if (!Slow) Slow.emplace();
      Out = outStart + Slow->Decode(outStart, static_cast<size_t>(Out - outStart));
      return runEnd;
    }
    *Out++ = decoded;
    P += length;
  }
  return P;
}

}  // namespace

std::string XmlUnescapeOnce(std::string_view Text) {
  if (Text.empty()) return {};
  // Every replacement is shorter than what it replaces, so the result fits, and writing
  // never overtakes reading.
  std::string result(Text.size(), '\0');
  char* out = result.data();
  const char* p = Text.data();
  const char* const end = p + Text.size();
  auto find = [end](const char* From, const char* Limit, char C) {
    const void* hit = std::memchr(From, C, static_cast<size_t>(Limit - From));
    return hit ? static_cast<const char*>(hit) : end;
  };
  const char* backslash = find(p, end, '\\');  // the next '\' at or after p, or end
  std::optional<TRunDecoder> slow;
  while (true) {
    if (backslash < p) backslash = find(p, end, '\\');
    const char* next = find(p, backslash, '&');
    if (next == end) next = backslash;
    std::memcpy(out, p, static_cast<size_t>(next - p));
    out += next - p;
    p = next;
    if (p == end) break;
    if (*p == '\\') {
      const char letter = p + 1 < end ? Folded(p[1]) : 0;
      if (letter == 'n' || letter == 't') {
        *out++ = letter == 'n' ? '\r' : '\t';
        p += 2;
      } else {
        *out++ = *p++;
      }
      continue;
    }
    p = DecodeRun(p, end, out, slow);
  }
  result.resize(static_cast<size_t>(out - result.data()));
  return result;
}

std::string XmlUnescape(std::string_view Text) {
  return XmlUnescapeOnce(XmlUnescapeOnce(Text));
}

// =======================================================================================
// Filters

std::string AlphaNumOnly(std::string_view Text) {
  std::string out;
  for (char c : Text)
    if (IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) out += c;
  return out;
}

std::string StripTags(std::string_view Text) {
  // Deleting "<...>" leaves no '<' or '>' before the point of deletion, so the next
  // first '<' and first '>' are searched only after it.
  std::string out;
  size_t from = 0;
  while (true) {
    const size_t open = Text.find('<', from);
    const size_t close = Text.find('>', from);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
    out.append(Text.substr(from, open - from));
    from = close + 1;
  }
  out.append(Text.substr(from));
  return out;
}

std::string Trim(std::string_view Text) {
  auto blank = [](char C) { return static_cast<unsigned char>(C) <= 32; };
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && blank(Text[first])) ++first;
  while (last > first && blank(Text[last - 1])) --last;
  return std::string(Text.substr(first, last - first));
}

}  // namespace skimbrook
