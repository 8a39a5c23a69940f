// md5Hex: the RFC 1321 test suite in upper-case hexadecimal, and GBK bytes
// digested as stored.
#include "extension/frame/md5_hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Md5Hex, Rfc1321TestSuiteInUpperCase) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& [text, digest] : rows) EXPECT_EQ(nx::md5Hex(text), digest) << text;
}

TEST(Md5Hex, BytesAbove127AreDigestedAsStored) {
  const std::string chinese = "中文";
  ASSERT_EQ(chinese, "\xd6\xd0\xce\xc4");  // GBK, not UTF-8
  const std::vector<std::pair<std::string, std::string>> rows = {
      {chinese, "BCCE109775E8E1972E9F5FCDA3E12895"},
      {"\xff", "00594FD4F42BA43FC1CA0427A0576295"},
  };
  for (const auto& [bytes, digest] : rows) EXPECT_EQ(nx::md5Hex(bytes), digest);
}

}  // namespace
