// c_n_cst_dw: the command texts are fixed pieces around the caller's values,
// not escaped; the DataWindow judges them. Answers pass back nearly as given.
#include "extension/datawindow/c_n_cst_dw.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>

#include "extension/general/text_rules.h"

namespace nx {
namespace {

// What the client scripts test for when the DataWindow cannot be reached.
constexpr const char* kNoModify = "u_dw modify not exist";

// Describe's answers for an invalid property and for one without a value.
bool isDescribeError(std::string_view answer) { return answer == "!" || answer == "?"; }

// A number beyond the integer result's range is held at its limit rather
// than wrapped into an unrelated value.
pbint toInt(std::int32_t value) {
  return static_cast<pbint>(std::clamp<std::int32_t>(value, -32768, 32767));
}

}  // namespace

IPBX_NonVisualObject* c_n_cst_dw::create(IPB_Session* session, pbobject object) {
  return new (std::nothrow) c_n_cst_dw(session, object);
}

bool c_n_cst_dw::invoke(IPB_Session* session, pbmethodID method, const std::string& command,
                        std::string* answer) const {
  PBCallInfo info;
  bool prepared = session->InitCallInfo(dwClass_, method, &info) == PBX_OK;
  // A function without a place for the command is no Describe or Modify.
  IPB_Value* first = prepared && info.pArgs != nullptr ? info.pArgs->GetAt(0) : nullptr;
  prepared = first != nullptr;
  if (prepared) {
    first->SetString(command.c_str());
    session->InvokeObjectFunction(dw_, method, &info);
    // A null or missing answer reads as the empty text.
    pbstring returned = info.returnValue != nullptr ? info.returnValue->GetString() : nullptr;
    const char* bytes = returned != nullptr ? session->GetString(returned) : nullptr;
    *answer = bytes != nullptr ? bytes : "";
  }
  // FreeCallInfo follows every InitCallInfo, a failed one too, as the host asks.
  session->FreeCallInfo(&info);
  return prepared;
}

// Without an attached DataWindow nothing is handed to the host: a call
// prepared on no class would be invoked on no object.
std::string c_n_cst_dw::modify(IPB_Session* session, const std::string& command) const {
  std::string answer;
  if (dw_ == nullptr || dwClass_ == nullptr || !invoke(session, modifyId_, command, &answer)) {
    return kNoModify;
  }
  return answer;
}

std::string c_n_cst_dw::describe(IPB_Session* session, const std::string& command) const {
  if (dw_ == nullptr || dwClass_ == nullptr) return "";
  std::string answer;
  if (!invoke(session, describeId_, command, &answer)) return kNoModify;
  return isDescribeError(answer) ? "" : answer;
}

// A null object detaches: the adapter is as freshly created. The host is
// not asked for the class of no object.
void c_n_cst_dw::of_SetDw(const Call& call) {
  IPB_Session* session = call.session();
  dw_ = call.object(0);
  dwClass_ = dw_ != nullptr ? session->GetClass(dw_) : nullptr;
  modifyId_ = kUndefinedMethodID;
  describeId_ = kUndefinedMethodID;
  if (dwClass_ == nullptr) return;
  modifyId_ = session->GetMethodID(dwClass_, "modify", PBRoutineType::Function, "SXS", true);
  describeId_ = session->GetMethodID(dwClass_, "describe", PBRoutineType::Function, "SXS", true);
}

// A null argument that would be part of a command sends nothing; the
// operation answers its empty result (the new label text alone counts as
// the empty text, a label may be cleared).
void c_n_cst_dw::of_SetLableText(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  if (!name) {
    call.returnText("");
    return;
  }
  const std::string text = call.text(1).value_or("");
  call.returnText(modify(call.session(), *name + ".text='" + text + "'"));
}

void c_n_cst_dw::of_columncount(const Call& call) {
  const std::string answer = describe(call.session(), "DataWindow.Column.Count");
  call.returnInt(toInt(leadingInteger(answer)));
}

void c_n_cst_dw::of_columnname(const Call& call) {
  const std::optional<pbint> column = call.integer(0);
  if (!column) {
    call.returnText("");
    return;
  }
  char command[32];
  std::snprintf(command, sizeof command, "#%d.name", static_cast<int>(*column));
  const std::string answer = describe(call.session(), command);
  const std::string_view name = trimSpaceRight(answer);
  call.returnText(isDescribeError(name) ? std::string_view() : name);
}

void c_n_cst_dw::of_column_visible(const Call& call) {
  const std::optional<std::string> column = call.text(0);
  const std::optional<bool> visible = call.boolean(1);
  if (!column || !visible) {
    call.returnText("");
    return;
  }
  call.returnText(modify(call.session(), *column + (*visible ? ".Visible=yes" : ".Visible=no")));
}

void c_n_cst_dw::of_GetColumnId(const Call& call) {
  const std::optional<std::string> column = call.text(0);
  if (!column) {
    call.returnInt(-1);
    return;
  }
  const std::string answer = describe(call.session(), *column + ".id");
  const std::int32_t id = leadingInteger(answer);
  // Column ids fit an integer; a larger answer is no column id either.
  call.returnInt(id < 1 || id > 32767 ? pbint{-1} : toInt(id));
}

void c_n_cst_dw::of_getcolumndbname(const Call& call) {
  const std::optional<std::string> column = call.text(0);
  if (!column) {
    call.returnText("");
    return;
  }
  call.returnText(describe(call.session(), "#" + *column + ".DBName"));
}

// The blank before the closing apostrophe is part of the expression the
// clients' DataWindows were written against.
void c_n_cst_dw::of_getdisplayvalue(const Call& call) {
  const std::optional<std::string> column = call.text(0);
  const std::optional<pblong> row = call.long32(1);
  if (!column || !row) {
    call.returnText("");
    return;
  }
  call.returnText(describe(
      call.session(), "Evaluate('LookUpDisplay(" + *column + ") ', " + std::to_string(*row) + ")"));
}

void c_n_cst_dw::of_getdwdata(const Call& call) {
  call.returnText(describe(call.session(), "DataWindow.Data"));
}

// Without a filter the DataWindow answers a pair of quotes or the like: two
// bytes or fewer are no filter.
void c_n_cst_dw::of_getfilter(const Call& call) {
  const std::string answer = describe(call.session(), "DataWindow.Table.Filter");
  call.returnText(answer.size() <= 2 ? std::string() : answer);
}

void c_n_cst_dw::of_getlabletext(const Call& call) {
  const std::optional<std::string> name = call.text(0);
  if (!name) {
    call.returnText("");
    return;
  }
  call.returnText(describe(call.session(), *name + ".text"));
}

}  // namespace nx
