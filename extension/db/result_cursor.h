// The only way the library reads query results: a cursor that owns one
// result set and sees its row count and first row. Values are GBK bytes;
// every reader answers its default where the result has no such value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct st_mysql_res;

namespace nx::db {

class ResultCursor {
 public:
  ResultCursor() = default;
  // Takes `result` over (null for none) and releases it when dropped.
  explicit ResultCursor(st_mysql_res* result);
  ~ResultCursor();
  ResultCursor(ResultCursor&& other) noexcept;
  ResultCursor& operator=(ResultCursor&& other) noexcept;
  ResultCursor(const ResultCursor&) = delete;
  ResultCursor& operator=(const ResultCursor&) = delete;

  std::uint64_t rowCount() const;
  // The first row's text at column `index` (from 0); `fallback` for no result,
  // no row, an index out of range or SQL NULL.
  std::string value(std::size_t index, std::string_view fallback) const;
  // The same for the first column whose name equals `name` ignoring case.
  std::string value(std::string_view name, std::string_view fallback) const;
  // `fallback` for no result or no row; else the column read as a decimal
  // integer prefix, 0 when the column is missing or SQL NULL.
  std::int32_t wholeNumber(std::string_view name, std::int32_t fallback) const;

 private:
  static constexpr std::size_t kMissing = static_cast<std::size_t>(-1);
  std::size_t columnOf(std::string_view name) const;
  void release();

  st_mysql_res* result_ = nullptr;
  char** firstRow_ = nullptr;
  unsigned long* lengths_ = nullptr;
};

}  // namespace nx::db
