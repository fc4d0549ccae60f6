// A unified diff: the common head and tail are set aside, the middle is matched by the longest
// common subsequence of its lines (or, when too large for that table, replaced whole).
#include "unified_diff.h"

#include <fmt/core.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace svreg {

namespace {

// The largest middle (lines before × lines after) matched line by line: a table of 16 MB.
constexpr std::size_t kMaxTable = 4u << 20;
constexpr std::size_t kContext = 3;

std::vector<std::string_view> Lines(const std::string& text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.emplace_back(text.data() + start, end - start);
    start = end;
  }
  return lines;
}

// ' ' kept, '-' removed, '+' added: with the index into its text.
struct Op {
  char kind;
  std::size_t a;
  std::size_t b;
};

std::vector<Op> Operations(const std::vector<std::string_view>& a,
                           const std::vector<std::string_view>& b) {
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
  std::vector<Op> ops;
  for (std::size_t i = 0; i < head; ++i) ops.push_back({' ', i, i});
  if (n * m <= kMaxTable) {
    // lcs[i][j]: the longest common subsequence of a[head+i..] and b[head+j..].
    std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;) {
      for (std::size_t j = m; j-- > 0;) {
        at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
      }
    }
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a[head + i] == b[head + j]) {
        ops.push_back({' ', head + i++, head + j++});
      } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
        ops.push_back({'-', head + i++, head + j});
      } else {
        ops.push_back({'+', head + i, head + j++});
      }
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) ops.push_back({'-', head + i, head});
    for (std::size_t j = 0; j < m; ++j) ops.push_back({'+', head + n, head + j});
  }
  for (std::size_t k = 0; k < tail; ++k) ops.push_back({' ', head + n + k, head + m + k});
  return ops;
}

void AppendLine(std::string& out, char kind, std::string_view line) {
  out += kind;
  out.append(line.data(), line.size());
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

}  // namespace

std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& before_name, const std::string& after_name) {
  if (before == after) return "";
  const auto a = Lines(before), b = Lines(after);
  const std::vector<Op> ops = Operations(a, b);
  std::string out = fmt::format("--- {}\n+++ {}\n", before_name, after_name);
  std::size_t k = 0;
  while (k < ops.size()) {
    if (ops[k].kind == ' ') {
      ++k;
      continue;
    }
    // A hunk: from the change back by the context, on while changes come within twice it.
    std::size_t first = k >= kContext ? k - kContext : 0;
    std::size_t last_change = k;
    for (std::size_t t = k; t < ops.size(); ++t) {
      if (ops[t].kind != ' ') {
        last_change = t;
      } else if (t - last_change > 2 * kContext) {
        break;
      }
    }
    const std::size_t end = std::min(ops.size(), last_change + 1 + kContext);
    std::size_t a_count = 0, b_count = 0;
    for (std::size_t t = first; t < end; ++t) {
      a_count += ops[t].kind != '+';
      b_count += ops[t].kind != '-';
    }
    out += fmt::format("@@ -{},{} +{},{} @@\n", a_count ? ops[first].a + 1 : ops[first].a, a_count,
                       b_count ? ops[first].b + 1 : ops[first].b, b_count);
    for (std::size_t t = first; t < end; ++t) {
      AppendLine(out, ops[t].kind, ops[t].kind == '+' ? b[ops[t].b] : a[ops[t].a]);
    }
    k = end;
  }
  return out;
}

}  // namespace svreg
