// n_cst_app through the host, and the seed's fold rules as unit tests (the host
// only sees their effect on rand). The library shares this process's C runtime,
// so srand here sets the generator that of_GetGuid draws from.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "extension/general/text_rules.h"
#include "tests/extension/library.h"

namespace {

using host::Value;
using host::ValueType;

constexpr std::string_view kAlphabet = ":1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ^-+/|!&.$#";

class NCstApp : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nxtest::library().create("n_cst_app", "app"), PBX_OK); }
  void TearDown() override { nxtest::library().destroy("app"); }

  host::CallResult call(const char* method, Value argument) {
    return nxtest::library().call("app", method, {std::move(argument)});
  }
  std::string guid(int length) {
    return call("of_GetGuid", Value::int16(static_cast<pbint>(length))).result.text();
  }
};

TEST_F(NCstApp, IniSeedAnswersOneForAnyKey) {
  const std::vector<Value> keys = {Value::string("abc"), Value::string(""),
                                   Value::string("中文密钥"), Value::string(std::string(40, 'k')),
                                   Value::null(ValueType::String)};
  for (const Value& key : keys) {
    host::CallResult r = call("of_IniSeed", key);
    EXPECT_EQ(r.result.type(), ValueType::Int);
    EXPECT_EQ(r.result.integer(), 1);
  }
}

TEST_F(NCstApp, GetGuidDrawsFromTheAlphabetWithRandModulo47) {
  for (unsigned int seed : {1u, 12345u, 4000000000u}) {
    std::srand(seed);
    std::string expected;
    for (int i = 0; i < 20; ++i) expected += kAlphabet[static_cast<std::size_t>(std::rand()) % 47];
    std::srand(seed);
    EXPECT_EQ(guid(20), expected) << seed;
  }
}

TEST_F(NCstApp, GetGuidFixedTextsForZeroNegativeAndNullLength) {
  const std::vector<std::pair<Value, std::string>> rows = {
      {Value::int16(0), "传入参数长度为0"},
      {Value::int16(-3), ""},
      {Value::null(ValueType::Int), "传入参数长度为0"},  // a null length reads 0
  };
  for (const auto& [length, expected] : rows) {
    host::CallResult r = call("of_GetGuid", length);
    EXPECT_EQ(r.result.type(), ValueType::String);
    EXPECT_EQ(r.result.text(), expected);
  }
}

TEST_F(NCstApp, GetGuidGivesTheRequestedLengthFromTheAlphabet) {
  for (int length : {1, 8, 300}) {
    const std::string text = guid(length);
    ASSERT_EQ(text.size(), static_cast<std::size_t>(length));
    for (char c : text) EXPECT_NE(kAlphabet.find(c), std::string_view::npos) << c;
  }
}

TEST_F(NCstApp, SameKeyInAnotherMillisecondSeedsDifferently) {
  call("of_IniSeed", Value::string("key"));
  const std::string first = guid(32);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  call("of_IniSeed", Value::string("key"));
  EXPECT_NE(guid(32), first);
}

TEST(HexFold, HalvesReadAsHexAndCombinedByExclusiveOr) {
  const std::vector<std::pair<std::string, std::uint64_t>> rows = {
      {"", 0},
      {"A", 0xA},  // left half empty
      {"AB", 0xA ^ 0xB},
      {"ABC", 0xA ^ 0xBC},  // odd length: the right half is the longer one
      {"1234", 0x12 ^ 0x34},
      {"12G4", 0x12},  // reading stops at the first non-hex character
      {"ab12", 0xAB ^ 0x12},
      {"0123456789ABCDEF0123456789ABCDEF", 0},
      {"FEDCBA98765432100000000000000001", 0xFEDCBA9876543210ull ^ 1},
      // Over 16 digits a half keeps its last 16 (no strtoull saturation).
      {"F0123456789ABCDEF"
       "00000000000000001",
       0x0123456789ABCDEFull ^ 1},
      {"ffffffd6ffffffd0ffffffce"
       "ffffffc4ffffffb6ffffffa8",
       0xffffffd0ffffffceull ^ 0xffffffb6ffffffa8ull},  // a three-character GBK key
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(nx::hexFold(text), expected) << text;
}

TEST(SignedByteHex, EachByteSignedWithPercentX) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},
      {"a", "61"},
      {"\x05", "5"},
      {"\x7f\x10", "7f10"},
      {"\x80", "ffffff80"},
      {"中", "ffffffd6ffffffd0"},
  };
  for (const auto& [bytes, expected] : rows) EXPECT_EQ(nx::signedByteHex(bytes), expected);
}

}  // namespace
