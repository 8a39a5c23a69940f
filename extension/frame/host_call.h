// One call of an operation: reads its arguments and writes its return value
// and by-reference arguments through the host calls, in the way each
// declared type is exchanged. Readers answer nullopt for a null argument.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pbni/pbni.h"

namespace nx {

class Call {
 public:
  Call(IPB_Session* session, PBCallInfo* info) : session_(session), info_(info) {}

  IPB_Session* session() const { return session_; }
  int count() const;
  IPB_Value* arg(int position) const;

  std::optional<std::string> text(int position) const;
  std::optional<pbint> integer(int position) const;
  std::optional<pblong> long32(int position) const;
  std::optional<pbulong> ulong32(int position) const;
  std::optional<bool> boolean(int position) const;
  std::optional<std::string> decimalText(int position) const;
  std::optional<std::string> dateText(int position) const;
  std::optional<std::string> dateTimeText(int position) const;
  pbobject object(int position) const;
  bool isArray(int position) const;

  void returnText(std::string_view value) const;
  void returnInt(pbint value) const;
  void returnLong(pblong value) const;
  void returnUlong(pbulong value) const;
  void returnBool(bool value) const;
  void returnDecimal(std::string_view text) const;
  // A date result is the argument's own date, changed in place and then
  // stored as the return value. Nothing is stored for a null argument or a
  // date the host refuses (no such calendar day).
  void returnDate(int position, int year, int month, int day) const;
  void returnDateTime(int position, int year, int month, int day, int hour, int minute,
                      double second) const;

  void setText(int position, std::string_view value) const;
  void setInt(int position, pbint value) const;
  void setLong(int position, pblong value) const;
  void setTextArray(int position, const std::vector<std::string>& items) const;

 private:
  IPB_Session* session_;
  PBCallInfo* info_;
};

}  // namespace nx
