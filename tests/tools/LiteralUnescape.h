// The entity decoding written out step by step: every replacement a separate replace-all
// over the whole text, in order. Slow on purpose and kept plain, so that it can serve as
// the reference which the model's single-scan decoder must equal byte for byte.
// Standard C++ only: the fuzz targets and benchmarks compile it on its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skimbrook::test {

// One replacement of the decoding pass.
struct TUnescapeStep {
  std::string Find;
  std::string ReplaceBy;
};

// The replacements of one decoding pass in the order they are applied: the five named
// entities (&amp; last), \n and \t, the three typographic quotes, &#N; for N = 1..255,
// then &#0NN; for NN = 10..99.
const std::vector<TUnescapeStep>& UnescapeSteps();

// Replaces every occurrence of Find by ReplaceBy, comparing ASCII letters without regard
// to case, scanning left to right without overlaps and never rescanning inserted text.
std::string ReplaceAllIgnoreCase(std::string_view Text, std::string_view Find, std::string_view ReplaceBy);

// One decoding pass: every step of UnescapeSteps() over the whole text, in order.
std::string LiteralUnescapeOnce(std::string_view Text);
// Two decoding passes.
std::string LiteralUnescape(std::string_view Text);

}  // namespace skimbrook::test
