// Sets (or, with nullopt, removes) an environment variable for one scope and
// puts the old value back at its end.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class ScopedSetting {
 public:
  ScopedSetting(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedSetting() { set(old_); }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  void set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace testsupport
