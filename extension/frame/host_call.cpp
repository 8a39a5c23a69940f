// Reading and writing values through the host calls.
#include "extension/frame/host_call.h"

namespace nx {

int Call::count() const { return info_->pArgs->GetCount(); }

IPB_Value* Call::arg(int position) const {
  return info_->pArgs->GetAt(static_cast<pbint>(position));
}

std::optional<std::string> Call::text(int position) const {
  pbstring handle = arg(position)->GetString();
  if (handle == nullptr) return std::nullopt;
  const char* bytes = session_->GetString(handle);
  return std::string(bytes != nullptr ? bytes : "");
}

namespace {

template <class T>
std::optional<T> scalar(IPB_Value* value, T (IPB_Value::*get)()) {
  if (value->IsNull()) return std::nullopt;
  return (value->*get)();
}

}  // namespace

std::optional<pbint> Call::integer(int position) const {
  return scalar(arg(position), &IPB_Value::GetInt);
}

std::optional<pblong> Call::long32(int position) const {
  return scalar(arg(position), &IPB_Value::GetLong);
}

std::optional<pbulong> Call::ulong32(int position) const {
  return scalar(arg(position), &IPB_Value::GetUlong);
}

std::optional<bool> Call::boolean(int position) const {
  return scalar(arg(position), &IPB_Value::GetBool);
}

std::optional<std::string> Call::decimalText(int position) const {
  IPB_Value* value = arg(position);
  if (value->IsNull()) return std::nullopt;
  pbdec handle = value->GetDecimal();
  if (handle == nullptr) return std::nullopt;
  const char* digits = session_->GetDecimalString(handle);
  return std::string(digits != nullptr ? digits : "");
}

std::optional<std::string> Call::dateText(int position) const {
  pbdate handle = arg(position)->GetDate();
  if (handle == nullptr) return std::nullopt;
  const char* t = session_->GetDateString(handle);
  return std::string(t != nullptr ? t : "");
}

std::optional<std::string> Call::dateTimeText(int position) const {
  pbdatetime handle = arg(position)->GetDateTime();
  if (handle == nullptr) return std::nullopt;
  const char* t = session_->GetDateTimeString(handle);
  return std::string(t != nullptr ? t : "");
}

pbobject Call::object(int position) const { return arg(position)->GetObject(); }

bool Call::isArray(int position) const { return arg(position)->IsArray(); }

void Call::returnText(std::string_view value) const {
  info_->returnValue->SetString(std::string(value).c_str());
}

void Call::returnInt(pbint value) const { info_->returnValue->SetInt(value); }
void Call::returnLong(pblong value) const { info_->returnValue->SetLong(value); }
void Call::returnUlong(pbulong value) const { info_->returnValue->SetUlong(value); }
void Call::returnBool(bool value) const { info_->returnValue->SetBool(value); }

void Call::returnDecimal(std::string_view text) const {
  pbdec handle = session_->NewDecimal();
  session_->SetDecimal(handle, std::string(text).c_str());
  info_->returnValue->SetDecimal(handle);
}

void Call::returnDate(int position, int year, int month, int day) const {
  pbdate handle = arg(position)->GetDate();
  if (handle == nullptr) return;
  if (session_->SetDate(handle, static_cast<pbint>(year), static_cast<pbint>(month),
                        static_cast<pbint>(day)) != PBX_OK) {
    return;
  }
  info_->returnValue->SetDate(handle);
}

void Call::returnDateTime(int position, int year, int month, int day, int hour, int minute,
                          double second) const {
  pbdatetime handle = arg(position)->GetDateTime();
  if (handle == nullptr) return;
  if (session_->SetDateTime(handle, static_cast<pbint>(year), static_cast<pbint>(month),
                            static_cast<pbint>(day), static_cast<pbint>(hour),
                            static_cast<pbint>(minute), second) != PBX_OK) {
    return;
  }
  info_->returnValue->SetDateTime(handle);
}

void Call::setText(int position, std::string_view value) const {
  arg(position)->SetString(std::string(value).c_str());
}

void Call::setInt(int position, pbint value) const { arg(position)->SetInt(value); }
void Call::setLong(int position, pblong value) const { arg(position)->SetLong(value); }

void Call::setTextArray(int position, const std::vector<std::string>& items) const {
  IPB_Value* value = arg(position);
  pbarray array = value->GetArray();
  if (array == nullptr) return;
  pblong index = 1;
  for (const std::string& item : items) session_->SetStringArrayItem(array, index++, item.c_str());
  value->SetArray(array);
}

}  // namespace nx
