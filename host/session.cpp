// The session calls an extension makes on its host.
#include "host/session.h"

#include <cmath>

#include "platform/gbk_text.h"

namespace host {

const char* Session::GetString(pbstring value) {
  return value != nullptr ? value->bytes.c_str() : nullptr;
}

PBXRESULT Session::SetStringArrayItem(pbarray array, pblong index, const char* text) {
  if (array == nullptr || index < 1) return PBX_E_INVALID_ARGUMENT;
  const auto position = static_cast<std::size_t>(index);
  if (array->items.size() < position) array->items.resize(position);
  array->items[position - 1] = text != nullptr ? text : "";
  return PBX_OK;
}

const char* Session::GetDateString(pbdate value) {
  if (value == nullptr) return nullptr;
  value->buffer = formatDate(*value);
  return value->buffer.c_str();
}

const char* Session::GetDateTimeString(pbdatetime value) {
  if (value == nullptr) return nullptr;
  value->buffer = formatDateTime(*value);
  return value->buffer.c_str();
}

PBXRESULT Session::SetDate(pbdate value, pbint year, pbint month, pbint day) {
  if (value == nullptr || !isCalendarDate(year, month, day)) return PBX_E_INVALID_ARGUMENT;
  value->year = year;
  value->month = month;
  value->day = day;
  return PBX_OK;
}

PBXRESULT Session::SetDateTime(pbdatetime value, pbint year, pbint month, pbint day, pbint hour,
                               pbint minute, pbdouble second) {
  if (value == nullptr || !isCalendarDate(year, month, day) || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || !(second >= 0 && second < 60)) {
    return PBX_E_INVALID_ARGUMENT;
  }
  value->year = year;
  value->month = month;
  value->day = day;
  value->hour = hour;
  value->minute = minute;
  value->second = second;
  return PBX_OK;
}

pbdec Session::NewDecimal() {
  decimals_.emplace_back();
  decimals_.back().text = "0";
  return &decimals_.back();
}

PBXRESULT Session::SetDecimal(pbdec value, const char* text) {
  if (value == nullptr || text == nullptr) return PBX_E_INVALID_ARGUMENT;
  value->text = text;
  return PBX_OK;
}

const char* Session::GetDecimalString(pbdec value) {
  return value != nullptr ? value->text.c_str() : nullptr;
}

pbclass Session::GetClass(pbobject object) { return object != nullptr ? &object->cls : nullptr; }

pbmethodID Session::GetMethodID(pbclass cls, const char* name, PBRoutineType type,
                                const char* signature, pbboolean /*publicOnly*/) {
  if (cls == nullptr || name == nullptr || type != PBRoutineType::Function) {
    return kUndefinedMethodID;
  }
  for (std::size_t i = 0; i < cls->functions.size(); ++i) {
    const HostFunction& function = cls->functions[i];
    if (!platform::equalsIgnoreCase(function.name, name)) continue;
    if (signature != nullptr && *signature != '\0' && function.signature != signature) continue;
    return static_cast<pbmethodID>(i);
  }
  return kUndefinedMethodID;
}

PBXRESULT Session::InitCallInfo(pbclass cls, pbmethodID method, PBCallInfo* info) {
  if (cls == nullptr || info == nullptr || method >= cls->functions.size()) {
    return PBX_E_INVALID_ARGUMENT;
  }
  info->pArgs = new Arguments(
      std::vector<Value>(static_cast<std::size_t>(cls->functions[method].argumentCount),
                         Value::null(ValueType::String)));
  info->returnValue = new Value();
  info->returnClass = cls;
  return PBX_OK;
}

PBXRESULT Session::InvokeObjectFunction(pbobject object, pbmethodID method, PBCallInfo* info) {
  if (object == nullptr || info == nullptr || info->pArgs == nullptr ||
      method >= object->cls.functions.size()) {
    return PBX_E_INVALID_ARGUMENT;
  }
  const HostFunction& function = object->cls.functions[method];
  auto* arguments = static_cast<Arguments*>(info->pArgs);
  if (function.body) function.body(arguments->values(), *static_cast<Value*>(info->returnValue));
  return PBX_OK;
}

void Session::FreeCallInfo(PBCallInfo* info) {
  if (info == nullptr) return;
  delete static_cast<Arguments*>(info->pArgs);
  delete static_cast<Value*>(info->returnValue);
  info->pArgs = nullptr;
  info->returnValue = nullptr;
}

}  // namespace host
