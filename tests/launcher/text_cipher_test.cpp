// The launcher's text cipher: DES known answers, zero fill, key preparation, hex reading and
// writing, UTF-8 turned into GBK on the way back, the two errors, and agreement with the
// openssl tool. Chinese literals are GBK bytes at run time; u8 literals stay UTF-8.
#include "launcher/support/text_cipher.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/support/error.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

using launcher::DecryptText;
using launcher::EncryptText;

std::string bytesOf(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return out;
}

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

template <typename Action>
std::string errorOf(Action action) {
  try {
    action();
  } catch (const launcher::LauncherError& e) {
    return e.what();
  }
  return "(no error)";
}

// Published DES known answers: the FIPS 46 worked example and rows of the NBS, Rivest and
// Eric Young tables. No plain block ends with a byte 0, which EncryptText refuses.
struct Vector {
  std::string key, plain, cipher;  // hexadecimal
};
const std::vector<Vector> kVectors = {
    {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
    {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},  // "Now is t"
    {"0e329232ea6d0d73", "8787878787878787", "0000000000000000"},
    {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
    {"3000000000000000", "1000000000000001", "958e6e627a05557b"},
    {"1111111111111111", "1111111111111111", "f40379ab9e0ec533"},
    {"fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
    {"0101010101010101", "dd7f121ca5015619", "4000000000000000"},
};

TEST(TextCipherDes, EnciphersKnownAnswers) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(EncryptText(bytesOf(v.plain), bytesOf(v.key)), v.cipher) << v.key;
  }
}

// No plain block here is UTF-8 beyond ASCII, so each comes back byte for byte.
TEST(TextCipherDes, DeciphersKnownAnswers) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(DecryptText(v.cipher, bytesOf(v.key)), bytesOf(v.plain)) << v.key;
  }
}

// Known answers whose plain blocks end in zeros: the fill must be bytes 0, blocks independent.
TEST(TextCipherEncrypt, FillsTheLastBlockWithZeros) {
  const std::string key = bytesOf("0101010101010101");
  struct Row {
    std::string textHex, cipher;
  };
  const std::vector<Row> rows = {
      {"95f8a5e5dd31d9", "8000000000000000"},
      {"dd7f121ca501561995f8a5e5dd31d9", "40000000000000008000000000000000"},
      {"95f8a5e5dd31d900dd7f121ca501561995f8a5e5dd31d9",  // a byte 0 inside stays
       "800000000000000040000000000000008000000000000000"},
  };
  for (const auto& row : rows) EXPECT_EQ(EncryptText(bytesOf(row.textHex), key), row.cipher);
}

TEST(TextCipherEncrypt, WritesSixteenLowerCaseDigitsPerBlock) {
  struct Row {
    std::string text;
    std::size_t digits;
  };
  const std::vector<Row> rows = {
      {"", 0},
      {"a", 16},
      {"1234567", 16},
      {"12345678", 16},
      {"123456789", 32},
      {"会员卡密码", 32},
      {std::string("a\0b", 3), 16},
      {std::string(17, 'x'), 48},
  };
  for (const auto& row : rows) {
    const std::string hex = EncryptText(row.text, "UPPERKEY");
    EXPECT_EQ(hex.size(), row.digits) << row.text;
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
  }
}

TEST(TextCipherKey, ShortKeysAreZeroFilledAndLongKeysCut) {
  struct Row {
    std::string key, plainHex, cipher;
  };
  const std::vector<Row> rows = {
      {bytesOf("133457799bbcdff1") + "tail", "0123456789abcdef", "85e813540f0ab405"},
      {bytesOf("0123456789abcdef") + bytesOf("133457799bbcdff1"), "4e6f772069732074",
       "3fa40e8a984d4815"},
      {"\x30", "1000000000000001", "958e6e627a05557b"},
      {bytesOf("30000000000000"), "1000000000000001", "958e6e627a05557b"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(EncryptText(bytesOf(row.plainHex), row.key), row.cipher) << row.cipher;
    EXPECT_EQ(DecryptText(row.cipher, row.key), bytesOf(row.plainHex)) << row.cipher;
  }
  // The all-zero key is the only one that turns this block back into zeros, which are removed.
  EXPECT_EQ(DecryptText("8ca64de9c1b123a7", ""), "");
}

TEST(TextCipherKey, TextKeysFollowTheSameRule) {
  struct Row {
    std::string given, prepared;
  };
  const std::vector<Row> rows = {
      {"abcdefghXYZ", "abcdefgh"},
      {"abcdefg", std::string("abcdefg\0", 8)},
      {"k", std::string("k\0\0\0\0\0\0\0", 8)},
      {"", std::string(8, '\0')},
  };
  for (const auto& text : {"p@ssw0rd", "123456789", "会员卡密码"}) {
    for (const auto& row : rows) {
      EXPECT_EQ(EncryptText(text, row.given), EncryptText(text, row.prepared)) << row.given;
    }
  }
}

TEST(TextCipherDecrypt, ReadsWholeBlocksOfHexPairs) {
  const std::string key = bytesOf("133457799bbcdff1");
  const std::string plain = bytesOf("0123456789abcdef");
  struct Row {
    std::string hex, expected;
  };
  const std::vector<Row> rows = {
      {"", ""},
      {"85E813540F0AB405", plain},
      {"85e813540F0aB405", plain},
      {"85e813540f0ab4059", plain},         // a lone last digit is ignored
      {"85e813540f0ab405z", plain},         // ... even when it is no digit
      {"85e813540f0ab405deadbeef", plain},  // a partial block is ignored
      {"85e813540f0ab405deadbeefcafe123", plain},
      {"85e81354", ""},         // 4 bytes: no whole block
      {"85e813540f0ab40", ""},  // 7 bytes
      {"85e813540f0ab40585e813540f0ab405", plain + plain},
  };
  for (const auto& row : rows) EXPECT_EQ(DecryptText(row.hex, key), row.expected) << row.hex;
}

TEST(TextCipherDecrypt, RemovesEveryZeroByteAtTheEnd) {
  const std::string key = bytesOf("0101010101010101");
  struct Row {
    std::string hex, expected;
  };
  const std::vector<Row> rows = {
      {"8000000000000000", bytesOf("95f8a5e5dd31d9")},
      {"80000000000000004000000000000000", bytesOf("95f8a5e5dd31d900dd7f121ca5015619")},
      {EncryptText(std::string("a\0b", 3), key), std::string("a\0b", 3)},
      {EncryptText("12345678", key), "12345678"},
  };
  for (const auto& row : rows) EXPECT_EQ(DecryptText(row.hex, key), row.expected) << row.hex;
}

TEST(TextCipherRoundTrip, GivesAsciiAndGbkTextsBack) {
  const std::vector<std::string> texts = {
      "a",
      "1234567",
      "12345678",
      "123456789",
      "p@ssw0rd!",
      "root",
      "-u root -p secret -h 127.0.0.1 -P 3306 -d shop",
      "会员卡密码",
      "会员管理",  // 10 and exactly 8 bytes
      "中文abc",
      "提示: 密码错误",
      "用户名\t密码\r\n",
      std::string("a\0b", 3),
  };
  for (const auto& key : {"Nx8#key!", "k", "", "longer than eight"}) {
    for (const auto& text : texts) {
      EXPECT_EQ(DecryptText(EncryptText(text, key), key), text) << key << " " << text;
    }
  }
}

// Deciphered bytes that are UTF-8 of characters GBK has come back as GBK; others unchanged.
TEST(TextCipherDecrypt, TurnsUtf8IntoGbk) {
  const std::string key = "Nx8#key!";
  struct Row {
    std::string enciphered, expected;
  };
  const std::vector<Row> rows = {
      {utf8(u8"会员卡密码"), "会员卡密码"},
      {utf8(u8"user=张三; pwd=1"), "user=张三; pwd=1"},
      {utf8(u8"中\U0001F600"), utf8(u8"中\U0001F600")},  // GBK has no emoji: kept
      {"\xe4\xb8", "\xe4\xb8"},                          // cut UTF-8: kept
      // The rule cannot tell such texts apart: GBK "邪" (d0 b0) is also UTF-8 for
      // Cyrillic "а", and comes back as that letter's GBK bytes (a7 d1).
      {"邪", "\xa7\xd1"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DecryptText(EncryptText(row.enciphered, key), key), row.expected) << row.enciphered;
  }
}

TEST(TextCipherErrors, RefusesATextEndingWithZero) {
  const std::vector<std::string> texts = {
      std::string(1, '\0'),     std::string("abc\0", 4), std::string("12345678\0", 9),
      std::string("会员\0", 5), std::string(8, '\0'),
  };
  for (const auto& text : texts) {
    EXPECT_EQ(errorOf([&] { EncryptText(text, "key"); }), "Error: the last char is NULL char.")
        << text.size();
  }
}

TEST(TextCipherErrors, RefusesPairsHoldingNoHexDigit) {
  const std::vector<std::string> texts = {
      "zz",
      "0123456789abcdeg",
      "g123456789abcdef",
      "85e81354 f0ab405",
      "0x85e813540f0ab4",
      "85e813540f0ab405zz",  // read, though its partial block is dropped later
      "-1",
      "会员",
      "85e813540f0ab4\n5",
      std::string("85e8") + '\0' + "3540f0ab405",
  };
  for (const auto& text : texts) {
    EXPECT_EQ(errorOf([&] { DecryptText(text, "key"); }), "Error: not a Hex String") << text;
  }
}

// The openssl command-line tool, run as a child, enciphers the zero-filled text independently.
class TextCipherOpensslTool : public ::testing::Test {
 protected:
  // Returns the tool's output as hexadecimal text, or a note of what went wrong.
  std::string opensslDesEcb(const std::string& filled, const std::string& keyHex) {
    const std::string in = temp_.path() + "in", out = temp_.path() + "out";
    std::ofstream(in, std::ios::binary) << filled;
    std::vector<std::string> args = {"openssl", "enc",       "-des-ecb", "-K",        keyHex,
                                     "-nopad",  "-provider", "legacy",   "-provider", "default",
                                     "-in",     in,          "-out",     out};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "openssl", nullptr, nullptr, argv.data(), environ) != 0) {
      return "(openssl did not start)";
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return "(openssl failed)";
    }
    std::ifstream file(out, std::ios::binary);
    const std::string cipher{std::istreambuf_iterator<char>(file), {}};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : cipher) hex += {kDigits[b >> 4], kDigits[b & 15]};
    return hex;
  }

  TempDir temp_;
};

TEST_F(TextCipherOpensslTool, AgreesOnZeroFilledTexts) {
  struct Row {
    std::string text, key, filled, keyHex;
  };
  const std::vector<Row> rows = {
      {"Now is the time for all ", "Nx8#key!", "Now is the time for all ", "4e7838236b657921"},
      {"会员卡密码", "abc", "会员卡密码" + std::string(6, '\0'), "6162630000000000"},
      {"-u root -p s3cret", "0123456789abcdefXYZ", "-u root -p s3cret" + std::string(7, '\0'),
       "3031323334353637"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(EncryptText(row.text, row.key), opensslDesEcb(row.filled, row.keyHex)) << row.text;
  }
}

}  // namespace
