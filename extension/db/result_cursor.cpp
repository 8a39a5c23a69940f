// Result cursor over a stored MySQL result: the first row is fetched once at
// take-over, so its texts and lengths stay valid for the cursor's life.
#include "extension/db/result_cursor.h"

#include <mysql.h>

#include <utility>

#include "extension/general/text_rules.h"
#include "platform/gbk_text.h"

namespace nx::db {

ResultCursor::ResultCursor(st_mysql_res* result) : result_(result) {
  if (result_ == nullptr) return;
  firstRow_ = mysql_fetch_row(result_);
  if (firstRow_ != nullptr) lengths_ = mysql_fetch_lengths(result_);
}

ResultCursor::~ResultCursor() { release(); }

ResultCursor::ResultCursor(ResultCursor&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)),
      firstRow_(std::exchange(other.firstRow_, nullptr)),
      lengths_(std::exchange(other.lengths_, nullptr)) {}

ResultCursor& ResultCursor::operator=(ResultCursor&& other) noexcept {
  if (this != &other) {
    release();
    result_ = std::exchange(other.result_, nullptr);
    firstRow_ = std::exchange(other.firstRow_, nullptr);
    lengths_ = std::exchange(other.lengths_, nullptr);
  }
  return *this;
}

void ResultCursor::release() {
  if (result_ != nullptr) mysql_free_result(result_);
  result_ = nullptr;
  firstRow_ = nullptr;
  lengths_ = nullptr;
}

std::uint64_t ResultCursor::rowCount() const {
  return result_ != nullptr ? mysql_num_rows(result_) : 0;
}

std::string ResultCursor::value(std::size_t index, std::string_view fallback) const {
  if (firstRow_ == nullptr || index >= mysql_num_fields(result_) || firstRow_[index] == nullptr) {
    return std::string(fallback);
  }
  return std::string(firstRow_[index], lengths_ != nullptr ? lengths_[index] : 0);
}

std::size_t ResultCursor::columnOf(std::string_view name) const {
  if (result_ == nullptr) return kMissing;
  const unsigned int count = mysql_num_fields(result_);
  const MYSQL_FIELD* fields = mysql_fetch_fields(result_);
  for (unsigned int i = 0; i < count; ++i) {
    if (platform::equalsIgnoreCase(std::string_view(fields[i].name, fields[i].name_length), name))
      return i;
  }
  return kMissing;
}

std::string ResultCursor::value(std::string_view name, std::string_view fallback) const {
  const std::size_t column = columnOf(name);
  if (column == kMissing) return std::string(fallback);
  return value(column, fallback);
}

std::int32_t ResultCursor::wholeNumber(std::string_view name, std::int32_t fallback) const {
  if (firstRow_ == nullptr) return fallback;
  const std::size_t column = columnOf(name);
  if (column == kMissing || firstRow_[column] == nullptr) return 0;
  return leadingInteger(value(column, ""));
}

}  // namespace nx::db
