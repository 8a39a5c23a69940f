// Throughput of EncryptText and DecryptText against OpenSSL's DES-ECB through EVP (legacy
// provider, own library context) on the same zero-filled bytes and key; both sides build the
// key schedule on every call. The ratios are printed after the figures.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <string>

#include "bench/ratios.h"
#include "launcher/support/text_cipher.h"

namespace {

const std::string kKey = "Nx8#key!";

std::string asciiText(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

// GBK bytes that are no UTF-8: DecryptText tries the conversion, fails and keeps them.
std::string gbkText(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "会员卡密码";
  return text.substr(0, size);
}

std::string zeroFilled(std::string text) {
  text.resize((text.size() + 7) / 8 * 8, '\0');
  return text;
}

// OpenSSL 3 keeps single DES in the legacy provider; a library context of its own leaves the
// process-wide providers as they are.
class EvpDesEcb {
 public:
  EvpDesEcb()
      : libctx_(OSSL_LIB_CTX_new()),
        legacy_(OSSL_PROVIDER_load(libctx_, "legacy")),
        default_(OSSL_PROVIDER_load(libctx_, "default")),
        cipher_(EVP_CIPHER_fetch(libctx_, "DES-ECB", nullptr)),
        ctx_(EVP_CIPHER_CTX_new()) {}
  ~EvpDesEcb() {
    EVP_CIPHER_CTX_free(ctx_);
    EVP_CIPHER_free(cipher_);
    if (default_) OSSL_PROVIDER_unload(default_);
    if (legacy_) OSSL_PROVIDER_unload(legacy_);
    OSSL_LIB_CTX_free(libctx_);
  }
  EvpDesEcb(const EvpDesEcb&) = delete;
  EvpDesEcb& operator=(const EvpDesEcb&) = delete;

  bool ready() const { return cipher_ != nullptr && ctx_ != nullptr; }

  // Whole blocks in, whole blocks out; false when OpenSSL reports a failure.
  bool run(const std::string& in, std::string& out, bool encrypt) {
    const auto* key = reinterpret_cast<const unsigned char*>(kKey.data());
    out.resize(in.size());
    int written = 0, last = 0;
    return EVP_CipherInit_ex2(ctx_, cipher_, key, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
           EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1 &&
           EVP_CipherUpdate(ctx_, reinterpret_cast<unsigned char*>(out.data()), &written,
                            reinterpret_cast<const unsigned char*>(in.data()),
                            static_cast<int>(in.size())) == 1 &&
           EVP_CipherFinal_ex(ctx_, reinterpret_cast<unsigned char*>(out.data()) + written,
                              &last) == 1 &&
           static_cast<std::size_t>(written + last) == in.size();
  }

 private:
  OSSL_LIB_CTX* libctx_;
  OSSL_PROVIDER* legacy_;
  OSSL_PROVIDER* default_;
  EVP_CIPHER* cipher_;
  EVP_CIPHER_CTX* ctx_;
};

void EncryptText(benchmark::State& state) {
  const std::string text = asciiText(state.range(0));
  for (auto _ : state) {
    std::string hex = launcher::EncryptText(text, kKey);
    benchmark::DoNotOptimize(hex);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void DecryptText(benchmark::State& state) {
  const std::string hex = launcher::EncryptText(asciiText(state.range(0)), kKey);
  for (auto _ : state) {
    std::string text = launcher::DecryptText(hex, kKey);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void DecryptTextGbk(benchmark::State& state) {
  const std::string hex = launcher::EncryptText(gbkText(state.range(0)), kKey);
  for (auto _ : state) {
    std::string text = launcher::DecryptText(hex, kKey);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void opensslDesEcb(benchmark::State& state, bool encrypt) {
  EvpDesEcb des;
  if (!des.ready()) {
    state.SkipWithError("OpenSSL's DES-ECB is not available");
    return;
  }
  std::string in = zeroFilled(asciiText(state.range(0))), out;
  if (!encrypt && !des.run(zeroFilled(asciiText(state.range(0))), in, true)) {
    state.SkipWithError("DES-ECB failed");
    return;
  }
  for (auto _ : state) {
    if (!des.run(in, out, encrypt)) {
      state.SkipWithError("DES-ECB failed");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpensslDesEcbEncrypt(benchmark::State& state) { opensslDesEcb(state, true); }
void OpensslDesEcbDecrypt(benchmark::State& state) { opensslDesEcb(state, false); }

BENCHMARK(EncryptText)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(OpensslDesEcbEncrypt)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(DecryptText)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(DecryptTextGbk)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(OpensslDesEcbDecrypt)->Arg(16)->Arg(256)->Arg(4096);

}  // namespace

int main(int argc, char** argv) {
  bench::Pairs pairs;
  for (const char* size : {"16", "256", "4096"}) {
    const std::string n = std::string("/") + size;
    pairs.push_back({"EncryptText" + n, "OpensslDesEcbEncrypt" + n});
    pairs.push_back({"DecryptText" + n, "OpensslDesEcbDecrypt" + n});
    pairs.push_back({"DecryptTextGbk" + n, "OpensslDesEcbDecrypt" + n});
  }
  return bench::runWithRatios(argc, argv, pairs);
}
