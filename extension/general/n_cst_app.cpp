// n_cst_app: the seed folds an MD5 of the time with the key's bytes; draws use
// the C runtime's rand, whose state is the process's (glibc), shared with every
// other user of rand in the host process.
#include "extension/general/n_cst_app.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "extension/frame/md5_hex.h"
#include "extension/general/text_rules.h"

namespace nx {
namespace {

constexpr std::string_view kAlphabet = ":1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ^-+/|!&.$#";

// Local "%Y%m%d%H%M%S" and the milliseconds as four digits: 18 characters.
std::string timeText() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  char millis[16];
  std::snprintf(millis, sizeof millis, "%.4d", static_cast<int>(now.tv_nsec / 1000000));
  return std::string(stamp, length) + millis;
}

unsigned int seedFor(std::string_view key) {
  const std::uint64_t mixed = hexFold(signedByteHex(key)) ^ hexFold(md5Hex(timeText()));
  char hex[32];
  std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(mixed));
  return static_cast<unsigned int>(hexFold(hex) & 0xffffffffu);
}

}  // namespace

IPBX_NonVisualObject* n_cst_app::create(IPB_Session* session, pbobject object) {
  return new (std::nothrow) n_cst_app(session, object);
}

// A null key counts as the empty key: the host's affair, but no crash.
void n_cst_app::of_IniSeed(const Call& call) {
  std::srand(seedFor(call.text(0).value_or(std::string())));
  call.returnInt(1);
}

// A null length reads 0, as the host's integer of a null value.
void n_cst_app::of_GetGuid(const Call& call) {
  const int length = call.integer(0).value_or(0);
  if (length == 0) {
    call.returnText("传入参数长度为0");
    return;
  }
  std::string guid;
  for (int i = 0; i < length; ++i) guid += kAlphabet[static_cast<std::size_t>(std::rand()) % 47];
  call.returnText(guid);
}

}  // namespace nx
