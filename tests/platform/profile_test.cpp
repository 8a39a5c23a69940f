// INI profile files: what a read finds, and the exact bytes a write or delete leaves,
// for the layouts that occur (CR LF and LF, no final line break, repeated sections).
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace {

using Content = std::optional<std::string>;  // nullopt: no file at all

// A file saved as UTF-8 (plain literals here are GBK).
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

void put(const std::string& path, const Content& content) {
  if (!content) return;
  std::ofstream(path, std::ios::binary) << *content;
}

Content get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Profile, ReadFindsValueOrDefault) {
  struct Row {
    Content file;
    std::string section, key, expected;
  };
  const std::vector<Row> rows = {
      {"[a]\r\nk=v\r\n", "a", "k", "v"},
      {"[a]\nk=v\n", "a", "k", "v"},
      {"[a]\nk=v", "a", "k", "v"},
      {"[Sect]\nKey=v\n", "sECT", "kEY", "v"},
      {" \t[ a ]\t\n \tk \t= \t v w \t\n", "a", "k", "v w"},
      {"[a]\nk=a=b\n", "a", "k", "a=b"},
      {"[a]\nk=\n", "a", "k", ""},
      {"[a]\nk=\"q v\"\n", "a", "k", "q v"},
      {"[a]\nk= ' q ' \n", "a", "k", " q "},
      {"[a]\nk=\"q'\n", "a", "k", "\"q'"},
      {"[a]\nk=\"\n", "a", "k", "\""},
      {"[a]\nk=1\nk=2\n", "a", "k", "1"},
      {"[a]\nk=1\n[a]\nk=2\n", "a", "k", "1"},
      {"[a]\nx=1\n[b]\n[A]\nk=2\n", "a", "k", "default"},  // only the first [a] counts
      {"[a]\nx=1\n[b]\nk=2\n", "a", "k", "default"},
      {"k=1\n[a]\n", "a", "k", "default"},
      {"[a]\n;k=v\n", "a", "k", "default"},
      {"[a]\n;k=v\nk=w\n", "a", "k", "w"},
      {"[a]\nk\n", "a", "k", "default"},
      {"[a]\nk=v\n", "b", "k", "default"},
      {"[a]\nk=v\n", "a", "x", "default"},
      {"", "a", "k", "default"},
      {std::nullopt, "a", "k", "default"},
      {"[设置]\r\n名称=中文值\r\n", "设置", "名称", "中文值"},
      {"[\x81\x5d]\nk=v\n", "\x81\x5d", "k", "v"},          // trail byte ']' inside the name
      {"[\x81\x41]\nk=v\n", "\x81\x61", "k", "default"},    // trail byte 'A' is not folded
      {"[x]\n[a\x81\x5d\nk=v\n", "a\x81", "k", "default"},  // that ']' closes nothing
      // A value ends at a NUL byte; a line of NUL bytes is no line.
      {std::string("[db]\nserverip=127.0.0.1\0\0\0\0", 27), "db", "serverip", "127.0.0.1"},
      {std::string("[db]\n\0\0\0\nport=3309\n", 19), "db", "port", "3309"},
      {std::string("[db]\nname=\0shop\n", 16), "db", "name", ""},
      // A UTF-8 file's byte-order mark does not hide its first section.
      {"\xEF\xBB\xBF[db]\r\nport=3309\r\n", "db", "port", "3309"},
      {"\xEF\xBB\xBFport=1\n[db]\nport=3309\n", "db", "port", "3309"},
      // A file saved as UTF-8, with the mark or without, reads as GBK text.
      {utf8(u8"[设置]\r\n名称=中文值\r\n"), "设置", "名称", "中文值"},
      {utf8(u8"\uFEFF[form]\r\ntitle=澜岳会员收银\r\n"), "form", "title", "澜岳会员收银"},
  };
  for (const auto& r : rows) {
    TempDir dir;
    std::string path = dir.path() + "x.ini";
    put(path, r.file);
    EXPECT_EQ(platform::readProfileString(path, r.section, r.key, "default"), r.expected)
        << r.file.value_or("(no file)") << " [" << r.section << "] " << r.key;
  }
}

TEST(Profile, WriteChangesOnlyTheKeyLine) {
  struct Row {
    Content before;
    std::string section, key, value;
    std::string after;
  };
  const std::vector<Row> rows = {
      {"[a]\r\nk=1\r\nz=2\r\n", "a", "k", "9", "[a]\r\nk=9\r\nz=2\r\n"},
      {"; c\n[A]\n  KEY = old \t\nx=1\n", "a", "key", "new", "; c\n[A]\nkey=new\nx=1\n"},
      {"[a]\nk=1\n", "a", "k", "", "[a]\nk=\n"},
      {"[a]\nk=1\n\n[b]\nz=2\n", "a", "n", "v", "[a]\nk=1\nn=v\n\n[b]\nz=2\n"},
      {"[a]\nk=1\n;n=0\n\n", "a", "n", "v", "[a]\nk=1\nn=v\n;n=0\n\n"},  // a comment is no key
      {"[a]\r\n\r\n[b]\r\n", "a", "n", "v", "[a]\r\nn=v\r\n\r\n[b]\r\n"},
      {"[a]\nk=1", "a", "n", "v", "[a]\nk=1\nn=v\n"},
      {"[a]\nk=1\n", "b", "n", "v", "[a]\nk=1\n[b]\nn=v\n"},
      {"[a]\r\nk=1", "b", "n", "v", "[a]\r\nk=1\r\n[b]\r\nn=v\r\n"},
      {"[a]\nk=1\r\n", "b", "n", "v", "[a]\nk=1\r\n[b]\r\nn=v\r\n"},  // any CR LF wins
      {"", "s", "k", "v", "[s]\r\nk=v\r\n"},
      {std::nullopt, "s", "k", "v", "[s]\r\nk=v\r\n"},
      {"[a]\nx=1\n[b]\n[a]\nk=2\n", "a", "k", "3", "[a]\nx=1\nk=3\n[b]\n[a]\nk=2\n"},
      {"[设置]\r\n名称=旧\r\n", "设置", "名称", "新", "[设置]\r\n名称=新\r\n"},
      // A UTF-8 file stays UTF-8.
      {utf8(u8"[设置]\r\n名称=旧\r\n"), "设置", "名称", "新", utf8(u8"[设置]\r\n名称=新\r\n")},
      {utf8(u8"[a]\nt=收银\n"), "新节", "k", "值", utf8(u8"[a]\nt=收银\n[新节]\nk=值\n")},
  };
  for (const auto& r : rows) {
    TempDir dir;
    std::string path = dir.path() + "x.ini";
    put(path, r.before);
    EXPECT_TRUE(platform::writeProfileString(path, r.section, r.key, r.value));
    EXPECT_EQ(get(path), r.after) << r.before.value_or("(no file)");
    EXPECT_EQ(platform::readProfileString(path, r.section, r.key, "default"), r.value);
  }
}

TEST(Profile, DeleteRemovesOnlyTheKeyLine) {
  struct Row {
    Content before;
    std::string section, key;
    Content after;
  };
  const std::vector<Row> rows = {
      {"[a]\r\nk=1\r\nz=2\r\n", "a", "k", "[a]\r\nz=2\r\n"},
      {"[A]\n K = 1\n", "a", "k", "[A]\n"},
      {"[a]\nz=2\nk=1", "a", "k", "[a]\nz=2\n"},
      {"[a]\nk=1\n[a]\nk=2\n", "a", "k", "[a]\n[a]\nk=2\n"},
      {"[a]\nz=2\n[b]\nk=1\n", "a", "k", "[a]\nz=2\n[b]\nk=1\n"},
      {"[设置]\r\n名称=值\r\n", "设置", "名称", "[设置]\r\n"},
      {utf8(u8"[设置]\r\n名称=值\r\nx=1\r\n"), "设置", "名称", utf8(u8"[设置]\r\nx=1\r\n")},
      {std::nullopt, "a", "k", std::nullopt},
  };
  for (const auto& r : rows) {
    TempDir dir;
    std::string path = dir.path() + "x.ini";
    put(path, r.before);
    EXPECT_TRUE(platform::deleteProfileKey(path, r.section, r.key));
    EXPECT_EQ(get(path), r.after) << r.before.value_or("(no file)");
  }
}

TEST(Profile, ReplacingKeepsPermissionsAndLeavesNoTemporaryFile) {
  for (mode_t mode : {0600, 0644, 0755}) {
    TempDir dir;
    std::string path = dir.path() + "x.ini";
    put(path, "[a]\nk=1\nj=2\n");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    EXPECT_TRUE(platform::writeProfileString(path, "a", "k", "2"));
    EXPECT_TRUE(platform::deleteProfileKey(path, "a", "j"));
    EXPECT_EQ(get(path), "[a]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    auto entries = std::distance(std::filesystem::directory_iterator(dir.path()),
                                 std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
  }
}

TEST(Profile, WriteRewritesTheFileOnlyWhenItsBytesChange) {
  struct Row {
    std::string before;
    bool rewritten;
  };
  const std::vector<Row> rows = {
      {"[a]\nk=1\n", false},
      {"[a]\nk = 1\n", true},  // same value, but the line is spelled anew
      {"[a]\nk=2\n", true},
  };
  for (const auto& r : rows) {
    TempDir dir;
    std::string path = dir.path() + "x.ini";
    put(path, r.before);
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    EXPECT_TRUE(platform::writeProfileString(path, "a", "k", "1"));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino != before.st_ino, r.rewritten) << r.before;
  }
}

TEST(Profile, UnwritablePathFailsAndChangesNothing) {
  struct Row {
    std::string name;  // inside the temporary folder
    bool makeFolder;
  };
  const std::vector<Row> rows = {
      {"missing/x.ini", false},  // a write creates the file, never its folder
      {"folder", true},          // the path names a folder, not a file
  };
  for (const auto& r : rows) {
    TempDir dir;
    std::string path = dir.path() + r.name;
    if (r.makeFolder) std::filesystem::create_directory(path);
    EXPECT_FALSE(platform::writeProfileString(path, "a", "k", "v")) << r.name;
    EXPECT_EQ(std::filesystem::exists(dir.path() + "missing"), false);
    EXPECT_EQ(std::filesystem::is_directory(dir.path() + "folder"), r.makeFolder);
  }
}

}  // namespace
