// A receipt text of about 200 GBK bytes in four lines, rendered at width 400
// in the default font (12 pt) and saved as BMP: through the host as a client
// does (of_SetText, then of_SaveBmp), and rendered alone without the file. The
// peer is ImageMagick's convert drawing the same text (UTF-8) with label: at
// the same width, face file, size and density into a BMP, one program run per
// picture, measured in the same run. The ratio is printed after the figures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "extension/general/text_picture.h"
#include "host/host.h"
#include "platform/gbk.h"

extern char** environ;

namespace {

using host::Value;

const std::string kText =
    "会员积分兑换说明：每消费 1 元积 1 分，满 500 分可兑换 5 元代金券。\r\n"
    "Points: one point per yuan spent, 500 points for a voucher.\r\n"
    "会员卡号 No.20260815  余额 128.50 元  有效期至 2027-08-15\r\n"
    "本券限本店使用，不找零，不兑现。";
constexpr int kWidth = 400;

const std::string& folder() {
  static const std::string path = [] {
    char pattern[] = "/tmp/text_picture_bench.XXXXXX";
    return mkdtemp(pattern) != nullptr ? std::string(pattern) + "/" : std::string("/tmp/");
  }();
  return path;
}

host::Host& library() {
  static host::Host loaded(NXCLASS_PATH);
  return loaded;
}

void TextToJpgSetTextSaveBmp(benchmark::State& state) {
  host::Host& h = library();
  h.create("n_cst_textToJpg", "pic");
  h.call("pic", "of_SetJpgWidth", {Value::int16(kWidth)});
  const std::string file = folder() + "ours.bmp";
  for (auto _ : state) {
    const host::CallResult drawn = h.call("pic", "of_SetText", {Value::string(kText)});
    const host::CallResult saved = h.call("pic", "of_SaveBmp", {Value::string(file)});
    if (drawn.result.integer() != 1 || saved.result.integer() != 1) {
      state.SkipWithError("the picture was not rendered or saved");
      break;
    }
  }
  state.SetLabel(std::to_string(kText.size()) + " bytes, " + std::to_string(kWidth) + "x" +
                 std::to_string(h.call("pic", "of_GetHeight", {}).result.integer()));
  h.destroy("pic");
}

void RenderText(benchmark::State& state) {
  nx::Picture picture;
  for (auto _ : state) {
    if (!nx::renderText(kText, "黑体", 120, kWidth, picture)) {
      state.SkipWithError("no picture");
      break;
    }
    benchmark::DoNotOptimize(picture.file);
  }
}

// ImageMagick of the Debian package first, then whatever PATH offers.
std::string convertProgram() {
  if (access("/usr/bin/convert", X_OK) == 0) return "/usr/bin/convert";
  const char* path = std::getenv("PATH");
  std::string rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string dir = rest.substr(0, colon);
    rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    const std::string candidate = dir + "/convert";
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

// Runs the program with its output discarded; true when it exits with 0.
bool runQuietly(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return started == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

void ImageMagickLabel(benchmark::State& state) {
  const std::string program = convertProgram();
  const std::optional<std::string> font = nx::fontFilePath("黑体");
  std::optional<std::string> utf8 = platform::gbkToUtf8(kText);
  if (program.empty() || !font || !utf8) {
    state.SkipWithError(program.empty() ? "convert not found" : "no font file or text");
    return;
  }
  // label: breaks lines at line feeds alone.
  for (std::size_t cr; (cr = utf8->find('\r')) != std::string::npos;) utf8->erase(cr, 1);
  std::vector<std::string> argv = {program, "-density", "96", "-pointsize", "12", "-font", *font};
  argv.insert(argv.end(), {"-size", std::to_string(kWidth) + "x", "label:" + *utf8});
  argv.push_back(folder() + "peer.bmp");
  for (auto _ : state) {
    if (!runQuietly(argv)) {
      state.SkipWithError("convert failed");
      break;
    }
  }
  state.SetLabel(program);
}

BENCHMARK(TextToJpgSetTextSaveBmp)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RenderText)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ImageMagickLabel)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::map<std::string, double> us = bench::runCollectingTimes();  // in the unit set below
  const auto ours = us.find("TextToJpgSetTextSaveBmp/real_time");
  const auto peer = us.find("ImageMagickLabel/real_time");
  if (convertProgram().empty() || peer == us.end() || !std::isfinite(peer->second) ||
      peer->second <= 0) {
    std::printf(
        "\npeer missing: ImageMagick's convert (Debian package imagemagick, "
        "scripts/install-deps --bench)\n");
  } else if (ours != us.end() && ours->second > 0) {
    std::printf("\nRatio against the peer measured in the same run (render and save a BMP):\n");
    std::printf("n_cst_textToJpg %.0f us, convert label: %.0f us, ours %.1f x faster\n",
                ours->second, peer->second, peer->second / ours->second);
  }
  std::filesystem::remove_all(folder());
  benchmark::Shutdown();
  return 0;
}
