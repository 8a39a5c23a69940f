// The host session handed to the extension: texts of handles, dates,
// decimals, string arrays, calls of host-object functions, and the message
// hook. One thread, one call at a time.
#pragma once

#include <deque>
#include <string>

#include "host/host_object.h"
#include "host/value.h"

namespace host {

class Session final : public IPB_Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void setMessageHook(IPB_MessageHook* hook) { hook_ = hook; }
  // Releases what the extension asked the session to make during a call.
  void endCall() { decimals_.clear(); }

  const char* GetString(pbstring value) override;
  PBXRESULT SetStringArrayItem(pbarray array, pblong index, const char* text) override;
  const char* GetDateString(pbdate value) override;
  const char* GetDateTimeString(pbdatetime value) override;
  PBXRESULT SetDate(pbdate value, pbint year, pbint month, pbint day) override;
  PBXRESULT SetDateTime(pbdatetime value, pbint year, pbint month, pbint day, pbint hour,
                        pbint minute, pbdouble second) override;
  pbdec NewDecimal() override;
  PBXRESULT SetDecimal(pbdec value, const char* text) override;
  const char* GetDecimalString(pbdec value) override;
  pbclass GetClass(pbobject object) override;
  pbmethodID GetMethodID(pbclass cls, const char* name, PBRoutineType type, const char* signature,
                         pbboolean publicOnly) override;
  PBXRESULT InitCallInfo(pbclass cls, pbmethodID method, PBCallInfo* info) override;
  PBXRESULT InvokeObjectFunction(pbobject object, pbmethodID method, PBCallInfo* info) override;
  void FreeCallInfo(PBCallInfo* info) override;
  IPB_MessageHook* GetMessageHook() override { return hook_; }

 private:
  IPB_MessageHook* hook_ = nullptr;
  std::deque<pbdec_> decimals_;
};

}  // namespace host
