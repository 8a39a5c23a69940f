// The host's values: one class serves as argument, return value and
// by-reference argument. A value owns the storage its handles point to, so a
// session call on a handle changes the value in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pbni/pbni.h"

struct pbstring_ {
  std::string bytes;
};
struct pbdec_ {
  std::string text;
};
struct pbdate_ {
  int year = 1900, month = 1, day = 1;
  std::string buffer;  // backs GetDateString
};
struct pbdatetime_ {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0;
  double second = 0;
  std::string buffer;  // backs GetDateTimeString
};
struct pbarray_ {
  std::vector<std::string> items;  // element 1 first
};

namespace host {

enum class ValueType {
  String,
  Int,
  Long,
  Ulong,
  Boolean,
  Decimal,
  Date,
  DateTime,
  Object,
  StringArray
};

const char* typeName(ValueType type);
// Accepts the names typeName gives; false for any other text.
bool typeFromName(const std::string& name, ValueType* type);

bool isCalendarDate(int year, int month, int day);
std::string formatDate(const pbdate_& date);
std::string formatDateTime(const pbdatetime_& dateTime);

class Value final : public IPB_Value {
 public:
  static Value null(ValueType type);
  static Value string(std::string bytes);
  static Value int16(pbint value);
  static Value long32(pblong value);
  static Value ulong32(pbulong value);
  static Value boolean(bool value);
  static Value decimal(std::string text);
  static Value date(int year, int month, int day);
  static Value dateTime(int year, int month, int day, int hour, int minute, double second);
  static Value stringArray(std::vector<std::string> items);
  static Value object(pbobject object);

  Value() = default;
  Value(const Value&) = default;
  Value(Value&&) = default;
  Value& operator=(const Value&) = default;
  Value& operator=(Value&&) = default;
  ~Value() = default;

  // The type the value was made with, or the type of the last setter called.
  ValueType type() const { return type_; }
  bool isNull() const { return null_; }
  // Whether the extension called a setter on this value.
  bool wasSet() const { return set_; }
  const std::string& text() const;  // string bytes or decimal text
  std::int64_t integer() const { return integer_; }
  bool flag() const { return integer_ != 0; }
  const pbdate_& dateValue() const { return date_; }
  const pbdatetime_& dateTimeValue() const { return dateTime_; }
  const std::vector<std::string>& items() const { return array_.items; }
  pbobject objectValue() const { return object_; }

  pbboolean IsNull() override { return null_; }
  pbboolean IsArray() override { return type_ == ValueType::StringArray; }
  pbint GetInt() override { return static_cast<pbint>(integer_); }
  pbboolean GetBool() override { return integer_ != 0; }
  pblong GetLong() override { return static_cast<pblong>(integer_); }
  pbulong GetUlong() override { return static_cast<pbulong>(integer_); }
  pbdec GetDecimal() override;
  pbstring GetString() override;
  pbdate GetDate() override;
  pbdatetime GetDateTime() override;
  pbarray GetArray() override;
  pbobject GetObject() override;

  PBXRESULT SetInt(pbint value) override;
  PBXRESULT SetBool(pbboolean value) override;
  PBXRESULT SetLong(pblong value) override;
  PBXRESULT SetUlong(pbulong value) override;
  PBXRESULT SetDecimal(pbdec value) override;
  PBXRESULT SetString(const char* text) override;
  PBXRESULT SetDate(pbdate value) override;
  PBXRESULT SetDateTime(pbdatetime value) override;
  PBXRESULT SetArray(pbarray value) override;

 private:
  explicit Value(ValueType type) : type_(type) {}
  void assigned(ValueType type, bool isNull);

  ValueType type_ = ValueType::String;
  bool null_ = true;
  bool set_ = false;
  std::int64_t integer_ = 0;
  pbstring_ string_;
  pbdec_ decimal_;
  pbdate_ date_;
  pbdatetime_ dateTime_;
  pbarray_ array_;
  pbobject object_ = nullptr;
};

// The argument list of one call, owning its values.
class Arguments final : public IPB_Arguments {
 public:
  explicit Arguments(std::vector<Value> values) : values_(std::move(values)) {}
  pbint GetCount() override { return static_cast<pbint>(values_.size()); }
  // Null past the end: the host checks counts against the declaration.
  IPB_Value* GetAt(pbint position) override {
    if (position < 0 || static_cast<std::size_t>(position) >= values_.size()) return nullptr;
    return &values_[static_cast<std::size_t>(position)];
  }
  std::vector<Value>& values() { return values_; }

 private:
  std::vector<Value> values_;
};

}  // namespace host
