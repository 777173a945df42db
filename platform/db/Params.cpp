// Parameter list.
#include "db/Params.h"

#include "db/DatabaseError.h"
#include "db/FieldDefs.h"
#include "rtl/Text.h"

namespace db {

Param& ParamList::CreateParam(std::string_view name) {
  Param& param = params_.emplace_back();
  param.Name.assign(name);
  return param;
}

Param* ParamList::FindParam(std::string_view name) {
  for (Param& param : params_) {
    if (rtl::SameText(param.Name, name)) return &param;
  }
  return nullptr;
}

Param& ParamList::ParamByName(std::string_view name) {
  Param* param = FindParam(name);
  if (param == nullptr) throw DatabaseError(FormatMessage(kSParamNotFound, {name}));
  return *param;
}

}  // namespace db
