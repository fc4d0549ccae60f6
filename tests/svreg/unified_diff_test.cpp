// svreg diff's unified difference against what diff -u prints for the same texts.
#include "unified_diff.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace svreg {
namespace {

std::string Numbers(int from, int to, int changed = 0, const std::string& as = "") {
  std::string text;
  for (int i = from; i <= to; ++i) text += (i == changed ? as : std::to_string(i)) + "\n";
  return text;
}

TEST(UnifiedDiff, HunksAsDiffPrintsThem) {
  const std::string thirty = Numbers(1, 30);
  const std::string two_changes = Numbers(1, 30, 5, "five");
  std::string both = two_changes;
  both.replace(both.find("25\n"), 3, "twenty-five\n");
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // before, after, hunks
      {thirty, thirty, ""},
      // Changes far apart: a hunk each, three lines of context around.
      {thirty, both,
       "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"
       "@@ -22,7 +22,7 @@\n 22\n 23\n 24\n-25\n+twenty-five\n 26\n 27\n 28\n"},
      // Removed before added; a hunk at the start has less context.
      {"a\nb\n", "a\nc\n", "@@ -1,2 +1,2 @@\n a\n-b\n+c\n"},
      // Nothing before: the hunk starts at line 0; a last line without its line break is marked.
      {"", "x\ny", "@@ -0,0 +1,2 @@\n+x\n+y\n\\ No newline at end of file\n"},
  };
  for (const auto& [before, after, hunks] : cases) {
    EXPECT_EQ(UnifiedDiff(before, after, "a", "b"), hunks.empty() ? "" : "--- a\n+++ b\n" + hunks)
        << after;
  }
}

}  // namespace
}  // namespace svreg
