// c_n_cst_dw: questions and changes about a DataWindow of the client, asked
// only through that DataWindow's own Describe and Modify functions, which are
// called through the host. Each operation sends one command text and hands
// the answer back with little change.
#pragma once

#include <array>
#include <string>

#include "extension/frame/extension_object.h"

namespace nx {

class c_n_cst_dw final : public ExtensionObject<c_n_cst_dw> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_SetDw(const Call& call);
  void of_SetLableText(const Call& call);
  void of_columncount(const Call& call);
  void of_columnname(const Call& call);
  void of_column_visible(const Call& call);
  void of_GetColumnId(const Call& call);
  void of_getcolumndbname(const Call& call);
  void of_getdisplayvalue(const Call& call);
  void of_getdwdata(const Call& call);
  void of_getfilter(const Call& call);
  void of_getlabletext(const Call& call);

  static constexpr std::array<Operation, 11> kOperations = {
      &c_n_cst_dw::of_SetDw,           &c_n_cst_dw::of_SetLableText,    &c_n_cst_dw::of_columncount,
      &c_n_cst_dw::of_columnname,      &c_n_cst_dw::of_column_visible,  &c_n_cst_dw::of_GetColumnId,
      &c_n_cst_dw::of_getcolumndbname, &c_n_cst_dw::of_getdisplayvalue, &c_n_cst_dw::of_getdwdata,
      &c_n_cst_dw::of_getfilter,       &c_n_cst_dw::of_getlabletext};

 private:
  c_n_cst_dw(IPB_Session* session, pbobject object) : session_(session), object_(object) {}

  // The DataWindow's answer to one command; see the .cpp for the answers
  // given when no DataWindow is attached or the host cannot prepare a call.
  std::string modify(IPB_Session* session, const std::string& command) const;
  std::string describe(IPB_Session* session, const std::string& command) const;
  // Prepares, invokes and releases one call; false when the host cannot
  // prepare it.
  bool invoke(IPB_Session* session, pbmethodID method, const std::string& command,
              std::string* answer) const;

  // Borrowed from the creation call, never released.
  IPB_Session* session_;
  pbobject object_;

  // The attached DataWindow; all none until of_SetDw.
  pbobject dw_ = nullptr;
  pbclass dwClass_ = nullptr;
  pbmethodID modifyId_ = kUndefinedMethodID;
  pbmethodID describeId_ = kUndefinedMethodID;
};

}  // namespace nx
