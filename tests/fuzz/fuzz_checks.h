// What the libFuzzer harnesses share: checked properties, reading every byte
// of a result, and cutting an input into texts at NUL bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A failed property aborts, so libFuzzer keeps the input.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

// Reads every byte, so that the sanitizers see a text that is not whole.
inline std::size_t touch(const std::string& text) {
  std::size_t sum = 0;
  for (unsigned char b : text) sum += b;
  return sum;
}

// At most `count` texts; the last one keeps whatever NUL bytes follow.
inline std::vector<std::string_view> splitAtNul(std::string_view input, std::size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const std::size_t cut = input.find('\0');
    if (cut == std::string_view::npos) break;
    parts.push_back(input.substr(0, cut));
    input.remove_prefix(cut + 1);
  }
  parts.push_back(input);
  return parts;
}

}  // namespace fuzz
