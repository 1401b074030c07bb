// Decoding of entity references and backslash sequences in what the program reads:
// XmlUnescapeOnce, XmlUnescape and XmlUnescapeInto. Text is 8-bit and handled byte for
// byte; no function fails.
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxScan.h"

namespace skimbrook {

// =======================================================================================
// Decoding
//
// One decoding pass is the result of 355 replace-all steps applied in this order, each
// replacing every occurrence of one pattern by one byte, comparing ASCII letters without
// regard to case, left to right without overlaps, never rescanning what it just inserted,
// while a later step sees what the earlier ones produced:
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
//  b. A step turns each occurrence into one byte. Two bytes that it did not touch are
//     neighbours afterwards only if they were before, so an occurrence that a step
//     creates contains a byte that some earlier step inserted.
//  c. Steps 1-4 and 6-10 insert bytes that no pattern contains; step 5 inserts '&', which
//     only steps 8-12 can use. So steps 1-7 act on the original text, each occurrence on
//     its own (the '&' of &amp;lt; is not decoded again as &lt;), and step 5's '&' is
//     where steps 8-12 look for a reference.
//  d. Steps 8-12 use only '&', '#', digits and ';' (run bytes). Once steps 1-7 are done,
//     any other byte is never replaced, so it splits the text into runs of run bytes that
//     decode independently, and in a run nothing left of its first '&' ever changes.
//  e. In a run, a byte inserted by step 11 or 12 can join a new occurrence only if it is a
//     run byte (N = 35, 38, 48..57, 59), and only one of a later step: a greater N, or
//     any step 12 after step 11. A '&', '#' or digit can only begin or continue a
//     reference, which needs run bytes after it; so one followed by another byte joins
//     nothing, and neither does a byte that is not a run byte. When every reference of a
//     run decodes to such a harmless byte, each reference is simply replaced where it
//     stands, and a harmless byte that is not a run byte splits the run. The rare other
//     runs go through TRunDecoder, which replays steps 8-12 on that run alone.
// So every '&' and '\' of the text starts one reference, sequence or plain byte, which
// decodes on its own unless it belongs to such a rare run; that is what lets the scan
// take the '&' and '\' of a whole block at once.
//
// XmlUnescape's second pass decodes what the first one wrote, where again only a '&' or
// '\' can start anything. Each of those is written for one '&' or '\' of the input, and
// the bytes after it come from the input unchanged up to its next '&' or '\'. So the
// first pass can tell, as it writes one, whether the second pass could decode anything
// there (a '#' or the first letter of a named entity must follow, and not bytes on which
// the same test already failed) and notes the place; the second pass works only at the
// noted places, in place. "&amp;lt;" and its like the first pass finishes itself: the
// second pass would decode the "&lt;" it leaves on its own, whatever surrounds it.
namespace {

// Steps 8-12 numbered in their order: 0..2 the typographic quotes, 3..257 &#N; with
// N = step - 2, 258..347 &#0NN; with NN = step - 248.
constexpr int kNoStep = -1;
constexpr int kNumericSteps = 348;

constexpr bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

// The bytes that steps 8-12 look at.
constexpr bool IsRunChar(char C) {
  return C == '&' || C == '#' || C == ';' || IsDigit(C);
}

// C with bit 5 set: equals a lowercase ASCII letter exactly when C is that letter in
// either case.
constexpr char Folded(char C) {
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

constexpr char StepChar(int Step) {
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
  if (Avail < 4) return {};
  switch (Folded(P[1])) {
    case 'l':
    case 'g':
      if (Folded(P[2]) == 't' && P[3] == ';') return {Folded(P[1]) == 'l' ? '<' : '>', 4};
      return {};
    case 'a':
      if (Avail >= 5 && Folded(P[2]) == 'm' && Folded(P[3]) == 'p' && P[4] == ';') return {'&', 5};
      if (Avail >= 6 && Folded(P[2]) == 'p' && Folded(P[3]) == 'o' && Folded(P[4]) == 's' && P[5] == ';')
        return {'\'', 6};
      return {};
    case 'q':
      if (Avail >= 6 && Folded(P[2]) == 'u' && Folded(P[3]) == 'o' && Folded(P[4]) == 't' && P[5] == ';')
        return {'"', 6};
      return {};
    default:
      return {};
  }
}

// The step of a numeric reference "#digits;" that starts at P (just after its '&'), and
// its length from P through the ';'.
int MatchNumeric(const char* P, const char* End, size_t& Length) {
  if (P == End || *P != '#') return kNoStep;
  const char* q = P + 1;
  while (q < End && q - P <= 5 && IsDigit(*q)) ++q;
  if (q == End || *q != ';') return kNoStep;
  Length = static_cast<size_t>(q + 1 - P);
  return NumericStep(P + 1, static_cast<size_t>(q - P - 1));
}

// Whether the byte Decoded from a reference, followed in the input by After (End when
// the input ends there), may join another reference (see e. above).
bool MayFormReference(char Decoded, const char* After, const char* End) {
  return IsRunChar(Decoded) && (Decoded == ';' || (After < End && IsRunChar(*After)));
}

// ---------------------------------------------------------------------------------------
// Runs whose decoded bytes may form new references

// Writes at Out the run that starts with the '&' at P as steps 1-7 leave it: '&' for
// &amp;, up to the first byte that is no run byte (a named entity other than &amp;
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

// Replays steps 8-12 on one run. The run is a linked list of its bytes; a reference
// collapses into its first node. Pending references wait in one bucket per step, and the
// steps are visited in order, so the work is linear in the run's length. Made once per
// pass when first needed, then reused.
class TRunDecoder {
 public:
  TRunDecoder() { heads_.fill(-1); }
  TRunDecoder(const TRunDecoder&) = delete;
  TRunDecoder& operator=(const TRunDecoder&) = delete;

  // Decodes in place the Count bytes at Run. Returns the decoded length.
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

// ---------------------------------------------------------------------------------------
// Word-at-a-time decoding of one '&'. In feed text a reference comes every few bytes, of
// a kind the processor cannot predict; a branch on the kind would be mispredicted about
// every other time, so the named entity is found by one comparison chosen by table and
// the numeric reference by arithmetic on eight bytes.

constexpr uint64_t kLowBytes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// The most that decoding one '&' word-at-a-time reads: up to "&amp;#dddd;" and the byte
// after it, then 8 bytes from there.
constexpr ptrdiff_t kQuickLookahead = 24;

// Eight bytes as a number whose lowest byte is the first.
[[gnu::always_inline]] inline uint64_t Load8(const char* P) {
  uint64_t word;
  std::memcpy(&word, P, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

constexpr uint64_t Pack(std::string_view Bytes) {
  uint64_t word = 0;
  for (size_t i = 0; i < Bytes.size(); ++i) word |= uint64_t{static_cast<unsigned char>(Bytes[i])} << (8 * i);
  return word;
}

// One named entity to compare with the first bytes at a '&': letters folded in their
// places (Fold), as many bytes as the entity has (Mask).
struct TNamedPattern {
  uint64_t Pattern = ~uint64_t{0};  // matches nothing
  uint64_t Fold = 0;
  uint64_t Mask = 0;
  char Char = '&';
  int Length = 1;
};

// The candidate for the two folded bytes after '&': lt, gt, am(p), ap(os) and qu(ot)
// land on different slots.
constexpr int NamedSlot(char First, char Second) {
  return (static_cast<unsigned char>(Folded(First)) * 7 + static_cast<unsigned char>(Folded(Second))) & 15;
}

constexpr std::array<TNamedPattern, 16> kNamedPatterns = [] {
  std::array<TNamedPattern, 16> patterns{};
  const struct {
    std::string_view Entity;
    char Char;
  } entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& entity : entities) {
    TNamedPattern& pattern = patterns[NamedSlot(entity.Entity[1], entity.Entity[2])];
    pattern.Pattern = Pack(entity.Entity);
    pattern.Mask = (uint64_t{1} << (8 * entity.Entity.size())) - 1;
    for (size_t i = 1; i + 1 < entity.Entity.size(); ++i) pattern.Fold |= uint64_t{0x20} << (8 * i);
    pattern.Char = entity.Char;
    pattern.Length = static_cast<int>(entity.Entity.size());
  }
  return patterns;
}();

// The byte each step inserts, indexed by the step's low 9 bits: kNoStep gives '&'.
constexpr std::array<char, 512> kStepChars = [] {
  std::array<char, 512> chars{};
  chars.fill('&');
  for (int step = 0; step < kNumericSteps; ++step) chars[step] = StepChar(step);
  return chars;
}();

constexpr std::array<bool, 256> kRunChars = [] {
  std::array<bool, 256> run{};
  for (int c = 0; c < 256; ++c) run[c] = IsRunChar(static_cast<char>(c));
  return run;
}();

// The step of the numeric reference "#digits;" at P, or kNoStep; in Semicolon the
// position of its first ';' counted from P, and in Digits the number of digits after the
// '#'. Reads 8 bytes. Per byte, the top bit of notDigit is set for bytes below '0', above
// '9' (0x3A plus 0x46 reaches 0x80) and above 127, and that of semicolons at a ';'
// (exact up to the first one). The value comes from the digits right-aligned in four
// bytes (first digit lowest): pairs, then the pairs combined, one multiplication each.
[[gnu::always_inline]] inline int NumericStepAt(const char* P, int& Semicolon, int& Digits) {
  constexpr uint64_t kLow = kLowBytes;
  constexpr uint64_t kHigh = kHighBits;
  const uint64_t word = Load8(P);
  const uint64_t notDigit = (~((word | kHigh) - kLow * '0') | ((word & ~kHigh) + kLow * 0x46) | word) & kHigh;
  const uint64_t semis = word ^ (kLow * ';');
  const uint64_t semicolons = (semis - kLow) & ~semis & kHigh;
  Semicolon = std::countr_zero(semicolons) / 8;                   // 8 when there is none
  Digits = std::countr_zero(notDigit & ~uint64_t{0xFF}) / 8 - 1;  // 7 when all are digits
  const int count = Semicolon - 1;                                // bytes between '#' and ';'
  const uint64_t digitBytes = ((uint64_t{1} << (8 * (Semicolon & 7))) - 1) & ~uint64_t{0xFF};
  const int wellFormed =
      ((word & 0xFF) == '#') & (count >= 1) & (count <= 4) & ((notDigit & digitBytes) == 0);
  // Every shift stays in range whatever the bytes; the value only counts when wellFormed.
  const uint64_t digits = ((word >> 8) - kLow * '0') & ((uint64_t{1} << (8 * (count & 7))) - 1);
  const auto aligned = static_cast<uint32_t>(digits << (8 * ((4 - count) & 3)));
  const uint32_t pairs = (aligned * 10 + (aligned >> 8)) & 0x00FF00FF;
  const int value = static_cast<int>((pairs * 100 + (pairs >> 16)) & 0xFFFF);
  const int leadingZero = ((word >> 8) & 0xFF) == '0';
  // At most one of these holds; arithmetic rather than conditions keeps them branch-free.
  const int plain = (1 - leadingZero) & (count <= 3) & (value <= 255);
  const int padded = leadingZero & (count == 3) & (value >= 10);
  const int quote = (count == 4) & ((value == 8217) | (value == 8220) | (value == 8221));
  const int step =
      plain * (2 + value) + padded * (248 + value) + quote * ((value == 8220) + 2 * (value == 8221));
  const int valid = wellFormed & (plain | padded | quote);
  return valid * step + (valid - 1);  // kNoStep when not valid
}

// The bytes that, right after a '&' the first pass wrote, may let the second pass decode
// it: '&' and '\\', whose own output is not known yet, and the first letters of the named
// entities. (A '#' right after it is looked at more closely, see DecodeAmpersandQuickly.)
constexpr std::array<bool, 256> kMayBeginSecondDecoding = [] {
  std::array<bool, 256> begins{};
  for (char c : std::string_view("&\\lgaqLGAQ")) begins[static_cast<unsigned char>(c)] = true;
  return begins;
}();

// One decoding pass over [P, End) writing at Out, which may be the input itself (it
// never runs ahead of the reading). With Marks, it lists where it wrote a '&' or '\'
// that the second pass may have to decode: every other byte passes through the second
// pass unchanged.
class TPass {
 public:
  TPass(const char* End, char* OutBegin, char* Out, std::vector<size_t>* Marks)
      : end_(End), outBegin_(OutBegin), out_(Out), marks_(Marks) {}

  char* Out() const { return out_; }

  // Decodes from P to the end, taking the '&' and '\' of 64 bytes at a time while 80
  // bytes are left (so every load of a block and a reference stays inside the text).
  void Decode(const char* P) {
    P = DecodeInBlocks(P);
    // The rest: the bytes between two '&' or '\' go over in one piece.
    while (P < end_) {
      const char* const special = FindSpecial(P);
      std::memmove(out_, P, static_cast<size_t>(special - P));
      out_ += special - P;
      if (special == end_) break;
      P = DecodeSpecial(special);
    }
  }

  // The number of marks noted: the first entries of Marks (its size is only its room).
  size_t MarkCount() const { return markCount_; }

  // Decodes only at Marks of the first pass over the same text: copies what lies
  // between them and decodes at each.
  void DecodeAt(const size_t* Marks, size_t Count) {
    const char* p = outBegin_ + Marks[0];
    char* out = outBegin_ + Marks[0];  // see DecodeAmpersandQuickly
    for (const size_t* mark = Marks; mark < Marks + Count; ++mark) {
      const char* at = outBegin_ + *mark;
      if (at < p) continue;  // inside a run decoded step by step
      std::memmove(out, p, static_cast<size_t>(at - p));
      out += at - p;
      if (*at == '&' && end_ - at >= kQuickLookahead) {
        p = DecodeAmpersandQuickly(at, out);
        if (p) continue;
      }
      out_ = out;
      p = DecodeSpecial(at);
      out = out_;
    }
    std::memmove(out, p, static_cast<size_t>(end_ - p));
    out_ = out + (end_ - p);
  }

 private:
  // Notes a written '&' or '\\' in Marks, which has room (see MakeRoomForMarks).
  void Mark(const char* Written) {
    if (!marks_) return;
    assert(markCount_ < marks_->size());
    (*marks_)[markCount_++] = static_cast<size_t>(Written - outBegin_);
  }

  // Makes room in Marks for Count more; done once per block for its (at most 64) marks,
  // so that noting one is a plain store.
  void MakeRoomForMarks(size_t Count) {
    if (marks_ && marks_->size() - markCount_ < Count)
      marks_->resize(std::max(2 * marks_->size(), markCount_ + Count));
  }

  // The first '&' or '\' from P on, or end_.
  const char* FindSpecial(const char* P) const { return FindEither(P, end_, '&', '\\'); }

  // Decodes the '&' or '\' at P and what belongs to it; returns where decoding goes on.
  const char* DecodeSpecial(const char* P) {
    if (*P == '\\') return DecodeBackslash(P);
    if (end_ - P < kQuickLookahead) return DecodeAmpersand(P);
    MakeRoomForMarks(1);
    char* out = out_;
    const char* next = DecodeAmpersandQuickly(P, out);
    out_ = out;
    return next ? next : DecodeRunFrom(P);
  }

  const char* DecodeBackslash(const char* P) {
    const char letter = P + 1 < end_ ? Folded(P[1]) : 0;
    if (letter == 'n' || letter == 't') {
      *out_++ = letter == 'n' ? '\r' : '\t';
      return P + 2;
    }
    // What follows is no 'n' or 't'; it may become one only if it is decoded itself.
    if (P + 1 < end_ && (P[1] == '&' || P[1] == '\\')) {
      MakeRoomForMarks(1);
      Mark(out_);
    }
    *out_++ = '\\';
    return P + 1;
  }

  // Decodes the '&' at P one test after the other, near the end of the text.
  const char* DecodeAmpersand(const char* P) {
    const char* afterAmpersand = P + 1;
    if (afterAmpersand < end_ && *afterAmpersand != '#') {
      const TNamedEntity named = MatchNamedEntity(P, static_cast<size_t>(end_ - P));
      if (named.Length && named.Char != '&') {
        *out_++ = named.Char;
        return P + named.Length;
      }
      afterAmpersand += named.Length ? named.Length - 1 : 0;
    }
    size_t length = 0;
    const int step = MatchNumeric(afterAmpersand, end_, length);
    const char decoded = step == kNoStep ? '&' : StepChar(step);
    const char* after = step == kNoStep ? afterAmpersand : afterAmpersand + length;
    if (step != kNoStep && MayFormReference(decoded, after, end_)) return DecodeRunFrom(P);
    if (decoded == '&' || decoded == '\\') {
      MakeRoomForMarks(1);
      Mark(out_);
    }
    *out_++ = decoded;
    return after;
  }

  // Decodes the '&' at At, with kQuickLookahead bytes from it, and writes at Out (a
  // local copy: the compiler must assume that a byte stored through a member might
  // change the member). Returns where decoding goes on, or nullptr when the decoded byte
  // may form another reference, so that its run must be decoded step by step.
  [[gnu::always_inline]] const char* DecodeAmpersandQuickly(const char* At, char*& Out) {
    const char* afterAmpersand = At + 1;
    if (*afterAmpersand != '#') {
      // A named entity or a plain '&'; only "&amp;#" goes on to a numeric reference.
      const TNamedPattern& named = kNamedPatterns[NamedSlot(At[1], At[2])];
      const bool isNamed = ((Load8(At) | named.Fold) & named.Mask) == named.Pattern;
      const bool isAmp = isNamed & (named.Char == '&');
      if (!(isAmp & (At[5] == '#'))) {
        const char* const next = At + (isNamed ? named.Length : 1);
        if (marks_ && (!isNamed | isAmp)) {
          if (isAmp) {
            // "&amp;lt;" and the like: the second pass decodes the "&lt;" this pass leaves
            // on its own, whatever surrounds it, so both passes are done here at once.
            const TNamedPattern& inner = kNamedPatterns[NamedSlot(At[5], At[6])];
            const uint64_t innerHead = (Load8(At + 4) & ~uint64_t{0xFF}) | '&';
            if ((((innerHead | inner.Fold) & inner.Mask) == inner.Pattern) & (inner.Char != '&')) {
              *Out++ = inner.Char;
              return At + 4 + inner.Length;
            }
          }
          if (kMayBeginSecondDecoding[static_cast<unsigned char>(*next)]) Mark(Out);
        }
        *Out++ = isNamed ? named.Char : '&';
        return next;
      }
      afterAmpersand = At + 5;
    }
    int semicolon = 0;
    int digits = 0;
    const int step = NumericStepAt(afterAmpersand, semicolon, digits);
    const char decoded = kStepChars[step & 511];
    const int numeric = step >= 0;
    const char* const next = afterAmpersand + numeric * (semicolon + 1);
    if (numeric & kRunChars[static_cast<unsigned char>(decoded)] &
        ((decoded == ';') | kRunChars[static_cast<unsigned char>(*next)])) [[unlikely]]
      return nullptr;
    // A '&' left before an unknown numeric reference: the second pass tries the same
    // bytes and fails the same way, unless the byte that ended the digits (a ';' that
    // made a number out of range, or another byte) is itself still to be decoded. More
    // than 4 digits fail whatever follows.
    const char ender = afterAmpersand[1 + (digits & 7)];
    const bool unknownMayChange = !numeric & (digits <= 4) & ((ender == '&') | (ender == '\\'));
    const bool decodedMayChange =
        numeric &
        ((decoded == '\\') | ((decoded == '&') & kMayBeginSecondDecoding[static_cast<unsigned char>(*next)]));
    if (marks_ && (unknownMayChange | decodedMayChange)) Mark(Out);
    *Out++ = decoded;
    return next;
  }

  // Decodes the run that holds the reference whose '&' is at P: the run bytes already
  // written before the output position (every reference decoded before it in the run
  // gave a byte that is no run byte, or a harmless one followed by such a byte, so these
  // are the run's bytes as steps 1-7 leave them) and the rest of the run from P on.
  // Returns where the run ends in the input.
  const char* DecodeRunFrom(const char* P) {
    char* run = out_;
    while (run > outBegin_ && IsRunChar(run[-1])) --run;
    const char* runEnd = GatherRun(P, end_, out_);
    if (!slow_) slow_.emplace();
    out_ = run + slow_->Decode(run, static_cast<size_t>(out_ - run));
    if (marks_) {
      while (markCount_ > 0 && (*marks_)[markCount_ - 1] >= static_cast<size_t>(run - outBegin_))
        --markCount_;
      MakeRoomForMarks(static_cast<size_t>(out_ - run));
      for (char* c = run; c < out_; ++c)
        if (*c == '&' || *c == '\\') Mark(c);
    }
    return runEnd;
  }

  const char* DecodeInBlocks(const char* P);

  const char* const end_;
  char* const outBegin_;
  char* out_;
  std::vector<size_t>* marks_;  // its first markCount_ entries are the marks
  size_t markCount_ = 0;
  std::optional<TRunDecoder> slow_;
};

const char* TPass::DecodeInBlocks(const char* P) {
  char* out = out_;  // see DecodeAmpersandQuickly
  const char* block = P;
  for (; end_ - block >= 64 + kQuickLookahead; block += 64) {
    MakeRoomForMarks(64);
    for (uint64_t special = MarksOfEither(block, '&', '\\'); special; special &= special - 1) {
      const char* at = block + __builtin_ctzll(special);
      if (at < P) continue;  // inside a run decoded step by step
      // Copy the plain bytes before it, sixteen at a time; the last copy may reach past
      // them, which is harmless when writing to another buffer (what follows overwrites it).
      for (const char* from = P;; from += 16) {
        std::memcpy(out + (from - P), from, 16);
        if (at - from <= 16) break;
      }
      out += at - P;
      if (*at == '&') {
        P = DecodeAmpersandQuickly(at, out);
        if (P) continue;
      }
      out_ = out;
      P = DecodeSpecial(at);
      out = out_;
      MakeRoomForMarks(64);  // a run decoded step by step may have noted marks beyond this block
    }
  }
  // The rest of the blocks looked at holds nothing to decode: it goes over in one piece.
  if (block > P) {
    std::memmove(out, P, static_cast<size_t>(block - P));
    out += block - P;
    P = block;
  }
  out_ = out;
  return P;
}

}  // namespace

std::string XmlUnescapeOnce(std::string_view Text) {
  if (Text.empty()) return {};
  // Every replacement is shorter than what it replaces, so the result fits.
  std::string result(Text.size(), '\0');
  TPass pass(Text.data() + Text.size(), result.data(), result.data(), nullptr);
  pass.Decode(Text.data());
  result.resize(static_cast<size_t>(pass.Out() - result.data()));
  return result;
}

size_t XmlUnescapeInto(std::string_view Text, char* Out, std::vector<size_t>& Marks) {
  if (Text.empty()) return 0;
  TPass first(Text.data() + Text.size(), Out, Out, &Marks);
  first.Decode(Text.data());
  const size_t length = static_cast<size_t>(first.Out() - Out);
  if (first.MarkCount() == 0) return length;
  TPass second(Out + length, Out, Out, nullptr);
  second.DecodeAt(Marks.data(), first.MarkCount());
  return static_cast<size_t>(second.Out() - Out);
}

std::string XmlUnescape(std::string_view Text) {
  if (Text.empty()) return {};
  std::string result(Text.size(), '\0');
  std::vector<size_t> marks;
  result.resize(XmlUnescapeInto(Text, result.data(), marks));
  return result;
}

}  // namespace skimbrook
