// Host values: storage, handles into it, and the setters the extension calls.
#include "host/value.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace host {
namespace {

constexpr std::array<const char*, 10> kTypeNames = {"string",  "int",     "long", "ulong",
                                                    "boolean", "decimal", "date", "datetime",
                                                    "object",  "string[]"};

}  // namespace

const char* typeName(ValueType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

bool typeFromName(const std::string& name, ValueType* type) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
    if (name == kTypeNames[i]) {
      *type = static_cast<ValueType>(i);
      return true;
    }
  }
  return false;
}

bool isCalendarDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string formatDate(const pbdate_& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buffer;
}

std::string formatDateTime(const pbdatetime_& dt) {
  char buffer[64];
  const double whole = std::floor(dt.second);
  if (dt.second == whole) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month, dt.day,
                  dt.hour, dt.minute, static_cast<int>(whole));
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%09.6f", dt.year, dt.month,
                  dt.day, dt.hour, dt.minute, dt.second);
  }
  return buffer;
}

Value Value::null(ValueType type) { return Value(type); }

Value Value::string(std::string bytes) {
  Value v(ValueType::String);
  v.null_ = false;
  v.string_.bytes = std::move(bytes);
  return v;
}

Value Value::int16(pbint value) {
  Value v(ValueType::Int);
  v.null_ = false;
  v.integer_ = value;
  return v;
}

Value Value::long32(pblong value) {
  Value v(ValueType::Long);
  v.null_ = false;
  v.integer_ = value;
  return v;
}

Value Value::ulong32(pbulong value) {
  Value v(ValueType::Ulong);
  v.null_ = false;
  v.integer_ = value;
  return v;
}

Value Value::boolean(bool value) {
  Value v(ValueType::Boolean);
  v.null_ = false;
  v.integer_ = value ? 1 : 0;
  return v;
}

Value Value::decimal(std::string text) {
  Value v(ValueType::Decimal);
  v.null_ = false;
  v.decimal_.text = std::move(text);
  return v;
}

Value Value::date(int year, int month, int day) {
  Value v(ValueType::Date);
  v.null_ = false;
  v.date_.year = year;
  v.date_.month = month;
  v.date_.day = day;
  return v;
}

Value Value::dateTime(int year, int month, int day, int hour, int minute, double second) {
  Value v(ValueType::DateTime);
  v.null_ = false;
  v.dateTime_.year = year;
  v.dateTime_.month = month;
  v.dateTime_.day = day;
  v.dateTime_.hour = hour;
  v.dateTime_.minute = minute;
  v.dateTime_.second = second;
  return v;
}

Value Value::stringArray(std::vector<std::string> items) {
  Value v(ValueType::StringArray);
  v.null_ = false;
  v.array_.items = std::move(items);
  return v;
}

Value Value::object(pbobject object) {
  Value v(ValueType::Object);
  v.null_ = object == nullptr;
  v.object_ = object;
  return v;
}

const std::string& Value::text() const {
  return type_ == ValueType::Decimal ? decimal_.text : string_.bytes;
}

// A null value hands out null handles: that is how the extension sees a
// null argument.
pbdec Value::GetDecimal() { return null_ ? nullptr : &decimal_; }
pbstring Value::GetString() { return null_ ? nullptr : &string_; }
pbdate Value::GetDate() { return null_ ? nullptr : &date_; }
pbdatetime Value::GetDateTime() { return null_ ? nullptr : &dateTime_; }
// An array argument is handed out even when null, so that items can be set.
pbarray Value::GetArray() { return type_ == ValueType::StringArray ? &array_ : nullptr; }
pbobject Value::GetObject() { return null_ ? nullptr : object_; }

void Value::assigned(ValueType type, bool isNull) {
  type_ = type;
  null_ = isNull;
  set_ = true;
}

PBXRESULT Value::SetInt(pbint value) {
  integer_ = value;
  assigned(ValueType::Int, false);
  return PBX_OK;
}

PBXRESULT Value::SetBool(pbboolean value) {
  integer_ = value ? 1 : 0;
  assigned(ValueType::Boolean, false);
  return PBX_OK;
}

PBXRESULT Value::SetLong(pblong value) {
  integer_ = value;
  assigned(ValueType::Long, false);
  return PBX_OK;
}

PBXRESULT Value::SetUlong(pbulong value) {
  integer_ = value;
  assigned(ValueType::Ulong, false);
  return PBX_OK;
}

PBXRESULT Value::SetDecimal(pbdec value) {
  if (value == nullptr) {
    assigned(ValueType::Decimal, true);
    return PBX_OK;
  }
  if (value != &decimal_) decimal_.text = value->text;
  assigned(ValueType::Decimal, false);
  return PBX_OK;
}

PBXRESULT Value::SetString(const char* text) {
  string_.bytes = text != nullptr ? text : "";
  assigned(ValueType::String, text == nullptr);
  return PBX_OK;
}

PBXRESULT Value::SetDate(pbdate value) {
  if (value == nullptr) {
    assigned(ValueType::Date, true);
    return PBX_OK;
  }
  if (value != &date_) {
    date_.year = value->year;
    date_.month = value->month;
    date_.day = value->day;
  }
  assigned(ValueType::Date, false);
  return PBX_OK;
}

PBXRESULT Value::SetDateTime(pbdatetime value) {
  if (value == nullptr) {
    assigned(ValueType::DateTime, true);
    return PBX_OK;
  }
  if (value != &dateTime_) {
    dateTime_.year = value->year;
    dateTime_.month = value->month;
    dateTime_.day = value->day;
    dateTime_.hour = value->hour;
    dateTime_.minute = value->minute;
    dateTime_.second = value->second;
  }
  assigned(ValueType::DateTime, false);
  return PBX_OK;
}

PBXRESULT Value::SetArray(pbarray value) {
  if (value == nullptr) {
    assigned(ValueType::StringArray, true);
    return PBX_OK;
  }
  if (value != &array_) array_.items = value->items;
  assigned(ValueType::StringArray, false);
  return PBX_OK;
}

}  // namespace host
