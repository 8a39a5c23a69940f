// Throughput of gbtobig5 and big5togb on several MB of real Chinese prose
// (Debian's fortunes-zh, converted once to GB2312 with CR LF line ends, mixed
// with its ASCII) against glibc iconv converting the same text between the
// same two character sets, and against OpenCC's opencc converting the same
// text (in UTF-8) from simplified to traditional. Each figure counts the
// bytes of the GB2312 text, so MB/s compare equal work. Both converters write
// the ideographic space of the other set for a character without a
// counterpart; the differing characters of the outputs are counted (0 is
// expected) and the ratios printed after the figures.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "extension/general/gb_big5.h"
#include "tests/support/files.h"

namespace {

constexpr std::size_t kTextSize = 8 << 20;
const char* const kFortunes[] = {"/usr/share/games/fortunes/chinese",
                                 "/usr/share/games/fortunes/song100",
                                 "/usr/share/games/fortunes/tang300"};
const char* const kOpencc = "/usr/bin/opencc";
const char* const kOpenccConfig = "/usr/share/opencc/s2t.json";

// Converts all of `text`; a character that does not convert becomes
// `placeholder` (its input length given by `skip`).
std::string iconvAll(iconv_t cd, const std::string& text, const std::string& placeholder,
                     std::size_t (*skip)(const char*)) {
  std::string out(text.size() + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* to = out.data();
  std::size_t outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      const std::size_t used = out.size() - outLeft;
      out.resize(out.size() * 2);
      to = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    const std::size_t n = std::min(skip(in), inLeft);
    in += n;
    inLeft -= n;
    if (outLeft < placeholder.size()) continue;  // resized on the next round
    to = std::copy(placeholder.begin(), placeholder.end(), to);
    outLeft -= placeholder.size();
  }
  out.resize(out.size() - outLeft);
  return out;
}

std::size_t utf8Length(const char* at) {
  const auto b = static_cast<unsigned char>(*at);
  return b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}
std::size_t pairLength(const char* at) { return static_cast<unsigned char>(*at) < 0x80 ? 1 : 2; }
std::size_t dropped(const char* at) { return utf8Length(at); }

class Corpus {
 public:
  static const Corpus& get() {
    static const Corpus corpus;
    return corpus;
  }
  bool ready() const { return !gb.empty(); }

  std::string gb;    // GB2312, CR LF line ends, no tab, no final line break
  std::string big5;  // the same text as iconv converts it to Big5
  std::string utf8;  // the same text in UTF-8, for OpenCC
  std::string utf8File;

 private:
  Corpus() {
    std::string prose;
    for (const char* path : kFortunes) prose += testsupport::readFile(path);
    if (prose.empty()) return;
    // Windows text as the clients hand it over: CR LF, tabs already blanks.
    std::string windows;
    for (const char c : prose) {
      if (c == '\n')
        windows += "\r\n";
      else if (c == '\t')
        windows += "        ";
      else if (c != '\r')
        windows += c;
    }
    iconv_t toGb = iconv_open("GB2312", "UTF-8");
    const std::string once = iconvAll(toGb, windows, "", dropped);
    iconv_close(toGb);
    while (gb.size() < kTextSize) gb += once + "\r\n";
    while (gb.ends_with("\r\n")) gb.resize(gb.size() - 2);
    iconv_t toBig5 = iconv_open("BIG5", "GB2312");
    big5 = iconvAll(toBig5, gb, "\xA1\x40", pairLength);
    iconv_close(toBig5);
    iconv_t toUtf8 = iconv_open("UTF-8", "GB2312");
    utf8 = iconvAll(toUtf8, gb, "", pairLength);
    iconv_close(toUtf8);
    char name[] = "/tmp/gb_big5_bench.XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
      close(fd);
      utf8File = name;
      testsupport::writeFile(utf8File, utf8);
    }
  }
};

// Characters (pairs from the source text's point of view) whose two
// conversions differ; both outputs keep the source's byte positions.
std::size_t differingCharacters(const std::string& source, const std::string& a,
                                const std::string& b) {
  if (a.size() != source.size() || b.size() != source.size()) return source.size();
  std::size_t differing = 0;
  for (std::size_t i = 0; i < source.size();) {
    const std::size_t n = std::min(pairLength(source.data() + i), source.size() - i);
    if (a.compare(i, n, b, i, n) != 0) ++differing;
    i += n;
  }
  return differing;
}

void convertWithOurs(benchmark::State& state, std::string (*convert)(std::string_view),
                     const std::string& text) {
  for (auto _ : state) {
    std::string out = convert(text);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void convertWithIconv(benchmark::State& state, const char* to, const char* from,
                      const std::string& text, const char* placeholder) {
  iconv_t cd = iconv_open(to, from);
  for (auto _ : state) {
    std::string out = iconvAll(cd, text, placeholder, pairLength);
    benchmark::DoNotOptimize(out);
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void GbToBig5(benchmark::State& state) { convertWithOurs(state, nx::gbToBig5, Corpus::get().gb); }
void IconvGb2312ToBig5(benchmark::State& state) {
  convertWithIconv(state, "BIG5", "GB2312", Corpus::get().gb, "\xA1\x40");
}
void Big5ToGb(benchmark::State& state) { convertWithOurs(state, nx::big5ToGb, Corpus::get().big5); }
void IconvBig5ToGb2312(benchmark::State& state) {
  convertWithIconv(state, "GB2312", "BIG5", Corpus::get().big5, "\xA1\xA1");
}

// One whole run of the program, its start included, as a user would run it.
void OpenccSimplifiedToTraditional(benchmark::State& state) {
  const Corpus& corpus = Corpus::get();
  if (access(kOpencc, X_OK) != 0 || corpus.utf8File.empty()) {
    state.SkipWithError("opencc is not installed (scripts/install-deps --bench)");
    return;
  }
  const std::string output = corpus.utf8File + ".s2t";
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      execl(kOpencc, kOpencc, "-c", kOpenccConfig, "-i", corpus.utf8File.c_str(), "-o",
            output.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("opencc failed");
      break;
    }
  }
  unlink(output.c_str());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(corpus.gb.size()));
}

BENCHMARK(GbToBig5)->Unit(benchmark::kMillisecond);
BENCHMARK(IconvGb2312ToBig5)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenccSimplifiedToTraditional)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(Big5ToGb)->Unit(benchmark::kMillisecond);
BENCHMARK(IconvBig5ToGb2312)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const Corpus& corpus = Corpus::get();
  if (!corpus.ready()) {
    std::fprintf(stderr, "no Chinese prose: install fortunes-zh (scripts/install-deps --bench)\n");
    return 1;
  }
  std::printf("text: %.1f MB of GB2312 (%.1f MB in UTF-8)\n", corpus.gb.size() / 1e6,
              corpus.utf8.size() / 1e6);
  const std::map<std::string, double> ns = bench::runCollectingTimes();

  iconv_t toBig5 = iconv_open("BIG5", "GB2312");
  iconv_t toGb = iconv_open("GB2312", "BIG5");
  std::printf("\nDiffering characters against iconv: gbtobig5 %zu, big5togb %zu\n",
              differingCharacters(corpus.gb, nx::gbToBig5(corpus.gb), corpus.big5),
              differingCharacters(corpus.big5, nx::big5ToGb(corpus.big5),
                                  iconvAll(toGb, corpus.big5, "\xA1\xA1", pairLength)));
  iconv_close(toBig5);
  iconv_close(toGb);

  std::printf("\nThroughput against the peer measured in the same run (goal: 3x iconv):\n");
  const std::pair<const char*, const char*> pairs[] = {
      {"GbToBig5", "IconvGb2312ToBig5"},
      {"GbToBig5", "OpenccSimplifiedToTraditional/iterations:3/real_time"},
      {"Big5ToGb", "IconvBig5ToGb2312"}};
  for (const auto& [ours, peer] : pairs) {
    const auto a = ns.find(ours), b = ns.find(peer);
    if (a == ns.end() || b == ns.end() || a->second == 0) continue;
    // Times are in the benchmarks' unit, milliseconds.
    std::printf("%-10s %8.1f MB/s  %6.2fx %s (%.1f MB/s)\n", ours,
                corpus.gb.size() / a->second / 1e3, b->second / a->second, peer,
                corpus.gb.size() / b->second / 1e3);
  }
  if (!corpus.utf8File.empty()) unlink(corpus.utf8File.c_str());
  benchmark::Shutdown();
  return 0;
}
