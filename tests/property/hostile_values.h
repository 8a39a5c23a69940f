// Random and hostile argument values of each declared type, drawn from one
// seeded generator so that a run can be replayed: empty, null, huge, invalid
// GBK, embedded NUL, quotes and backslashes, SQL and DataWindow fragments,
// numbers at the 16- and 32-bit limits, odd dates, arrays of odd sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/value.h"

namespace property {

using Rng = std::mt19937_64;

class HostileValues {
 public:
  // The huge texts are made once, from `rng`.
  explicit HostileValues(Rng& rng);

  // Any text the client's users could type, or worse; nullopt is null.
  std::optional<std::string> text();
  // A text of at most a few hundred bytes (answers of host objects, array items).
  std::string shortText();

  // A value of a declared parameter type ("string", "int", ... as the class
  // description writes it, any letter case); nullopt for a type it does not know.
  std::optional<host::Value> of(const std::string& declaredType, bool isArray);

  host::Value int16();
  host::Value long32();
  host::Value ulong32();
  host::Value boolean();
  host::Value decimal();
  host::Value date();
  host::Value dateTime();
  host::Value textArray();

  Rng& rng() { return rng_; }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  template <class T>
  const T& pick(const std::vector<T>& items) {
    return items[below(items.size())];
  }

 private:
  std::string fragment();
  std::string composedSelect(int depth);
  std::string composedDataWindow();
  std::string mutated(std::string text);
  std::string invalidGbk();
  std::string randomBytes(std::size_t most);

  Rng& rng_;
  std::vector<std::string> huge_;
};

}  // namespace property
