// probe.pbx: a small extension that exercises every host call, so the host
// can be checked apart from nxclass.pbx.
#include <cstdio>
#include <new>
#include <string>

#include "pbni/pbni.h"

namespace {

const char kDescription[] =
    "class probe from nonvisualobject\n"
    "function string show(string as_caption,string as_text,int ai_icon)\n"
    "function string ask(powerobject ap_obj,string as_function,string as_command)\n"
    "function string readall(int ai,long al,ulong aul,boolean ab,decimal adc,date ad,datetime "
    "adt,string as,string asa[])\n"
    "function decimal writeall(ref int ai,ref long al,ref ulong aul,ref boolean ab,ref decimal "
    "adc,ref date ad,ref datetime adt,ref string as,ref string asa[])\n"
    "function integer count()\n"
    "function integer count(string as_one)\n"
    "end class\n"
    "globalfunctions\n"
    "function long pr_sum(long al_a, long al_b)\n"
    "end globalfunctions\n";

std::string text(IPB_Session* session, IPB_Value* value) {
  pbstring handle = value->GetString();
  return handle == nullptr ? "null" : session->GetString(handle);
}

std::string show(IPB_Session* session, PBCallInfo* info) {
  IPB_MessageHook* hook = session->GetMessageHook();
  if (hook == nullptr) return "no hook";
  const std::string caption = text(session, info->pArgs->GetAt(0));
  const std::string body = text(session, info->pArgs->GetAt(1));
  hook->Show(caption.c_str(), body.c_str(),
             static_cast<PBMessageIcon>(info->pArgs->GetAt(2)->GetInt()));
  return "shown";
}

std::string ask(IPB_Session* session, PBCallInfo* info) {
  pbobject object = info->pArgs->GetAt(0)->GetObject();
  if (object == nullptr) return "no object";
  const std::string function = text(session, info->pArgs->GetAt(1));
  const std::string command = text(session, info->pArgs->GetAt(2));
  pbclass cls = session->GetClass(object);
  pbmethodID id =
      session->GetMethodID(cls, function.c_str(), PBRoutineType::Function, "SXS", false);
  if (id == kUndefinedMethodID) return "no function";
  PBCallInfo call;
  if (session->InitCallInfo(cls, id, &call) != PBX_OK) {
    session->FreeCallInfo(&call);
    return "init failed";
  }
  call.pArgs->GetAt(0)->SetString(command.c_str());
  session->InvokeObjectFunction(object, id, &call);
  std::string answer = text(session, call.returnValue);
  session->FreeCallInfo(&call);
  return answer;
}

std::string readall(IPB_Session* session, PBCallInfo* info) {
  IPB_Arguments* a = info->pArgs;
  std::string out;
  const auto add = [&out](const std::string& piece) { out += piece + ";"; };
  add(a->GetAt(0)->IsNull() ? "null" : std::to_string(a->GetAt(0)->GetInt()));
  add(a->GetAt(1)->IsNull() ? "null" : std::to_string(a->GetAt(1)->GetLong()));
  add(a->GetAt(2)->IsNull() ? "null" : std::to_string(a->GetAt(2)->GetUlong()));
  add(a->GetAt(3)->IsNull() ? "null" : (a->GetAt(3)->GetBool() ? "true" : "false"));
  pbdec dec = a->GetAt(4)->GetDecimal();
  add(dec == nullptr ? "null" : session->GetDecimalString(dec));
  pbdate date = a->GetAt(5)->GetDate();
  add(date == nullptr ? "null" : session->GetDateString(date));
  pbdatetime dt = a->GetAt(6)->GetDateTime();
  add(dt == nullptr ? "null" : session->GetDateTimeString(dt));
  add(text(session, a->GetAt(7)));
  add(a->GetAt(8)->IsArray() ? "array" : "scalar");
  return out;
}

void writeall(IPB_Session* session, PBCallInfo* info) {
  IPB_Arguments* a = info->pArgs;
  a->GetAt(0)->SetInt(-7);
  a->GetAt(1)->SetLong(-70000);
  a->GetAt(2)->SetUlong(4000000000u);
  a->GetAt(3)->SetBool(true);
  pbdec dec = session->NewDecimal();
  session->SetDecimal(dec, "12.50");
  a->GetAt(4)->SetDecimal(dec);
  pbdate date = a->GetAt(5)->GetDate();
  session->SetDate(date, 2024, 2, 29);
  a->GetAt(5)->SetDate(date);
  pbdatetime dt = a->GetAt(6)->GetDateTime();
  session->SetDateTime(dt, 2024, 12, 31, 23, 59, 58);
  a->GetAt(6)->SetDateTime(dt);
  a->GetAt(7)->SetString("\xc4\xe3\xba\xc3");  // GBK for "ni hao"
  pbarray array = a->GetAt(8)->GetArray();
  session->SetStringArrayItem(array, 3, "three");
  a->GetAt(8)->SetArray(array);
  pbdec result = session->NewDecimal();
  session->SetDecimal(result, "-0.01");
  info->returnValue->SetDecimal(result);
}

class Probe final : public IPBX_NonVisualObject {
 public:
  PBXRESULT Invoke(IPB_Session* session, pbobject, pbmethodID method, PBCallInfo* info) override {
    switch (method & 0xffff) {
      case 0:
        info->returnValue->SetString(show(session, info).c_str());
        break;
      case 1:
        info->returnValue->SetString(ask(session, info).c_str());
        break;
      case 2:
        info->returnValue->SetString(readall(session, info).c_str());
        break;
      case 3:
        writeall(session, info);
        break;
      case 4:
      case 5:
        info->returnValue->SetInt(static_cast<pbint>(info->pArgs->GetCount()));
        break;
      default:
        break;
    }
    return PBX_OK;
  }
  void Destroy() override { delete this; }
};

}  // namespace

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

PROBE_EXPORT const char* PBX_GetDescription() { return kDescription; }

PROBE_EXPORT PBXRESULT PBX_CreateNonVisualObject(IPB_Session*, pbobject, const char* className,
                                                 IPBX_NonVisualObject** created) {
  *created = nullptr;
  if (std::string(className) != "probe") return PBX_E_NO_SUCH_CLASS;
  *created = new (std::nothrow) Probe();
  return PBX_OK;
}

PROBE_EXPORT PBXRESULT PBX_InvokeGlobalFunction(IPB_Session*, const char* name, PBCallInfo* info) {
  if (std::string(name) == "pr_sum") {
    info->returnValue->SetLong(info->pArgs->GetAt(0)->GetLong() + info->pArgs->GetAt(1)->GetLong());
  }
  return PBX_OK;
}
