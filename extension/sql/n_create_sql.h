// n_create_sql: collects column assignments for one table and composes an
// UPDATE or an INSERT statement from them; it never runs the statement.
// Entries are never removed or deactivated, so each one is always written.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "extension/frame/extension_object.h"

namespace nx {

class n_create_sql final : public ExtensionObject<n_create_sql> {
 public:
  static IPBX_NonVisualObject* create(IPB_Session* session, pbobject object);

  void of_SetTable(const Call& call);
  void of_SetWhere(const Call& call);
  void of_AddUpdateSet(const Call& call);
  void of_GetUpdateSQL(const Call& call);
  void of_GetInsertSQL(const Call& call);

  static constexpr std::array<Operation, 5> kOperations = {
      &n_create_sql::of_SetTable, &n_create_sql::of_SetWhere, &n_create_sql::of_AddUpdateSet,
      &n_create_sql::of_GetUpdateSQL, &n_create_sql::of_GetInsertSQL};

 private:
  n_create_sql() = default;

  struct Assignment {
    std::string column;  // lower case, no trailing white
    std::string value;
    std::string quoteFlag;  // "Y" writes the value in apostrophes
  };

  std::string table_;
  std::string where_;
  std::vector<Assignment> assignments_;
};

}  // namespace nx
