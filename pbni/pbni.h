// The native extension interface between a script host and an extension
// library such as nxclass.pbx: the value kinds, the calls an extension makes
// on its host, the object interface the host calls, and the three entry
// points. Texts cross in GBK. The host calls an extension on one thread, one
// call at a time; nothing here is thread-safe.
#pragma once

#include <cstdint>

using pbint = std::int16_t;
using pbuint = std::uint16_t;
using pblong = std::int32_t;
using pbulong = std::uint32_t;
using pbboolean = bool;
using pbdouble = double;

using PBXRESULT = std::int32_t;
inline constexpr PBXRESULT PBX_OK = 0;
inline constexpr PBXRESULT PBX_FAIL = -1;
inline constexpr PBXRESULT PBX_E_INVALID_ARGUMENT = -2;
inline constexpr PBXRESULT PBX_E_NO_SUCH_CLASS = -13;

// A method id: the position of the method in its class block of the class
// description, from 0. Only the low 16 bits are significant.
using pbmethodID = pbulong;
inline constexpr pbmethodID kUndefinedMethodID = 0xffff;

// Opaque host handles. The host defines the structures; an extension only
// passes the handles back. A null handle read from an argument stands for a
// null argument.
struct pbstring_;
struct pbdec_;
struct pbdate_;
struct pbdatetime_;
struct pbarray_;
struct pbobject_;
struct pbclass_;
using pbstring = pbstring_*;
using pbdec = pbdec_*;
using pbdate = pbdate_*;
using pbdatetime = pbdatetime_*;
using pbarray = pbarray_*;
using pbobject = pbobject_*;
using pbclass = pbclass_*;

// One value: an argument, a return value or a by-reference argument.
// The getters of a handle return the value's own storage: a session call that
// changes a date or array handle changes the value in place. Setters copy.
class IPB_Value {
 public:
  virtual pbboolean IsNull() = 0;
  virtual pbboolean IsArray() = 0;

  virtual pbint GetInt() = 0;
  virtual pbboolean GetBool() = 0;
  virtual pblong GetLong() = 0;
  virtual pbulong GetUlong() = 0;
  virtual pbdec GetDecimal() = 0;
  virtual pbstring GetString() = 0;
  virtual pbdate GetDate() = 0;
  virtual pbdatetime GetDateTime() = 0;
  virtual pbarray GetArray() = 0;
  virtual pbobject GetObject() = 0;

  virtual PBXRESULT SetInt(pbint value) = 0;
  virtual PBXRESULT SetBool(pbboolean value) = 0;
  virtual PBXRESULT SetLong(pblong value) = 0;
  virtual PBXRESULT SetUlong(pbulong value) = 0;
  virtual PBXRESULT SetDecimal(pbdec value) = 0;
  // Copies the NUL-terminated text; a null pointer makes the value null.
  virtual PBXRESULT SetString(const char* text) = 0;
  virtual PBXRESULT SetDate(pbdate value) = 0;
  virtual PBXRESULT SetDateTime(pbdatetime value) = 0;
  virtual PBXRESULT SetArray(pbarray value) = 0;

 protected:
  ~IPB_Value() = default;
};

// The argument list of one call. GetAt takes a position from 0.
class IPB_Arguments {
 public:
  virtual pbint GetCount() = 0;
  virtual IPB_Value* GetAt(pbint position) = 0;

 protected:
  ~IPB_Arguments() = default;
};

struct PBCallInfo {
  IPB_Arguments* pArgs = nullptr;
  IPB_Value* returnValue = nullptr;
  pbclass returnClass = nullptr;
};

enum class PBRoutineType { Event, Function };

enum class PBMessageIcon { None, Information, Warning, Error, Question };

// Shows the extension's owner-less message boxes (OK button only).
class IPB_MessageHook {
 public:
  virtual void Show(const char* caption, const char* text, PBMessageIcon icon) = 0;

 protected:
  ~IPB_MessageHook() = default;
};

// The host session. Texts returned as const char* stay valid until the
// current call into the extension returns; callers copy them at once.
class IPB_Session {
 public:
  // Text of a string handle.
  virtual const char* GetString(pbstring value) = 0;
  // Stores text at a 1-based index of the array; the array grows as needed.
  virtual PBXRESULT SetStringArrayItem(pbarray array, pblong index, const char* text) = 0;

  // "yyyy-mm-dd" and "yyyy-mm-dd hh:mm:ss".
  virtual const char* GetDateString(pbdate value) = 0;
  virtual const char* GetDateTimeString(pbdatetime value) = 0;
  // Change the handle in place; PBX_E_INVALID_ARGUMENT for no calendar date.
  virtual PBXRESULT SetDate(pbdate value, pbint year, pbint month, pbint day) = 0;
  virtual PBXRESULT SetDateTime(pbdatetime value, pbint year, pbint month, pbint day, pbint hour,
                                pbint minute, pbdouble second) = 0;

  // Decimals travel as their text.
  virtual pbdec NewDecimal() = 0;
  virtual PBXRESULT SetDecimal(pbdec value, const char* text) = 0;
  virtual const char* GetDecimalString(pbdec value) = 0;

  // Functions of host objects. GetMethodID answers kUndefinedMethodID when
  // the class has no such function. A non-zero InitCallInfo is a failure;
  // FreeCallInfo always follows InitCallInfo.
  virtual pbclass GetClass(pbobject object) = 0;
  virtual pbmethodID GetMethodID(pbclass cls, const char* name, PBRoutineType type,
                                 const char* signature, pbboolean publicOnly) = 0;
  virtual PBXRESULT InitCallInfo(pbclass cls, pbmethodID method, PBCallInfo* info) = 0;
  virtual PBXRESULT InvokeObjectFunction(pbobject object, pbmethodID method, PBCallInfo* info) = 0;
  virtual void FreeCallInfo(PBCallInfo* info) = 0;

  // Where the extension's owner-less message boxes go; null when the host
  // installed none.
  virtual IPB_MessageHook* GetMessageHook() = 0;

 protected:
  ~IPB_Session() = default;
};

// Every object an extension creates. The host calls Destroy once and never
// uses the object again.
class IPBX_NonVisualObject {
 public:
  virtual PBXRESULT Invoke(IPB_Session* session, pbobject object, pbmethodID method,
                           PBCallInfo* info) = 0;
  virtual void Destroy() = 0;
  virtual ~IPBX_NonVisualObject() = default;
};

// The three entry points an extension library exports with C linkage.
extern "C" {
using PBX_GetDescription_t = const char* (*)();
using PBX_CreateNonVisualObject_t = PBXRESULT (*)(IPB_Session* session, pbobject object,
                                                  const char* className,
                                                  IPBX_NonVisualObject** created);
using PBX_InvokeGlobalFunction_t = PBXRESULT (*)(IPB_Session* session, const char* functionName,
                                                 PBCallInfo* info);
}
