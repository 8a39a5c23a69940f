// The global string, number and date functions, as operations the frame
// calls by name. Each reads its arguments and writes its result and its
// by-reference arguments through the host calls.
#pragma once

#include "extension/frame/host_call.h"

namespace nx {

// Texts and lists.
void gf_addstring(const Call& call);
void gf_addstring_and(const Call& call);
void gf_addstring_list(const Call& call);
void gf_addline(const Call& call);
void trimlength(const Call& call);
void gf_trim(const Call& call);
void gf_del_rem(const Call& call);
void gf_booltochar(const Call& call);
void gf_chartobool(const Call& call);
void gf_stricmp(const Call& call);
void gf_getfilename(const Call& call);
void gf_getfilepath(const Call& call);
void gf_getpartlikes(const Call& call);
void gf_is_operater(const Call& call);
void gf_readcard_userpwd(const Call& call);
void gf_iswhitechar(const Call& call);
void gf_replaceall(const Call& call);
void gf_replace(const Call& call);
void gf_getsubstring(const Call& call);

// Numbers.
void gf_rmb_c(const Call& call);
void gf_spectonum(const Call& call);

// Dates and periods.
void gf_getmonthfirstday(const Call& call);
void gf_getmonthlastday(const Call& call);
void gf_relativeday_c(const Call& call);
void gf_lastmonth(const Call& call);
void gf_relativedatetimemonth_c(const Call& call);
void gf_relativemonthbyperiod(const Call& call);
void gf_intToDateTime(const Call& call);

}  // namespace nx
