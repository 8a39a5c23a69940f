// The global process and system functions: files, the editor, starting
// programs (also as another account), finding processes, windows and
// modules, and facts about the machine and the host process.
#pragma once

#include "extension/frame/host_call.h"

namespace nx {

// The host's integer is 16 bits: a process id above 32767 comes out as 32767,
// never as 0 or a negative number, which would read as "none" or "null".
pbint hostProcessId(long pid);

void gf_dispdatabytext(const Call& call);
void gf_writefile(const Call& call);
void gf_readfiletostring(const Call& call);
void gf_createfile(const Call& call);
void gf_RunAs(const Call& call);
void GetUserName(const Call& call);
void FindWindow(const Call& call);
void GetWindowsDirectory(const Call& call);
void GetSystemDirectory(const Call& call);
void GetComputerName(const Call& call);
void GetModuleHandle(const Call& call);
void gf_getselfprintlist(const Call& call);
void gf_GetSessionID(const Call& call);
void gf_is_running(const Call& call);
void gf_run_process(const Call& call);

}  // namespace nx
