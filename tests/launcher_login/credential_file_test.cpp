// The credential file config/config.xml: reading with and without blank removal, the rewrite
// and what it keeps byte for byte, GBK and UTF-8 files, unreadable files and owner-only saving.
// Chinese literals are GBK bytes at run time; u8 literals stay UTF-8.
#include "launcher/login/credential_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/support/error.h"
#include "launcher/support/text_cipher.h"
#include "tests/support/temp_dir.h"

namespace {

using launcher::kCredentialKey;
using launcher::LoadStoredCredentials;
using launcher::StoredCredentials;
using launcher::TCredentialFile;
using testing::HasSubstr;
using testing::StartsWith;

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

std::string hexOf(const std::string& password) {
  return launcher::EncryptText(password, kCredentialKey);
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

const std::string kGbDeclaration = R"(<?xml version="1.0" encoding="GB2312"?>)";

// A file as the installation lays it down, with the given element texts.
std::string fileWith(const std::string& user, const std::string& pass) {
  return kGbDeclaration + "\r\n<Root>\r\n  <dbuser>" + user + "</dbuser>\r\n  <dbpass>" + pass +
         "</dbpass>\r\n  <dbuserRead>reader</dbuserRead>\r\n  <dbpassRead>0f0e</dbpassRead>\r\n"
         "</Root>\r\n";
}

class CredentialFileTest : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(dir.path() + "config"); }

  std::string file() const { return dir.path() + "config/config.xml"; }

  void write(const std::string& bytes) const {
    std::ofstream(file(), std::ios::binary | std::ios::trunc) << bytes;
  }

  std::string contents() const {
    std::ifstream in(file(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string loadError() const {
    try {
      LoadStoredCredentials(dir.path());
    } catch (const launcher::LauncherError& e) {
      return e.what();
    }
    return "(no error)";
  }

  TempDir dir;
};

void expectCredentials(const StoredCredentials& got, const std::string& user,
                       const std::string& password) {
  EXPECT_EQ(got.DbUser, user);
  EXPECT_EQ(got.DbPassword, password);
}

TEST_F(CredentialFileTest, PathIsUnderTheApplicationFolder) {
  EXPECT_EQ(launcher::CredentialFilePath("/app/"), "/app/config/config.xml");
  EXPECT_EQ(launcher::CredentialFilePath("/app"), "/app/config/config.xml");
}

TEST_F(CredentialFileTest, RewriteThenLoadGivesTheValuesBack) {
  struct Row {
    std::string declaration, user, password;
  };
  const std::vector<Row> rows = {
      {kGbDeclaration, "root", "12345678"},
      {kGbDeclaration, "admin", ""},
      {kGbDeclaration, "店长", "提示ab"},
      {kGbDeclaration, "a&b<c>d]]>", "p w&<"},
      {R"(<?xml version="1.0" encoding="UTF-8"?>)", "店长", "x"},
      {"", "a&b", "y"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.declaration + " " + row.user);
    write(row.declaration + "<Root><dbuser>old</dbuser><dbpass></dbpass></Root>");
    TCredentialFile(dir.path()).Rewrite(row.user, row.password);
    expectCredentials(LoadStoredCredentials(dir.path()), row.user, row.password);
    expectCredentials(TCredentialFile(dir.path()).Read(), row.user, row.password);
  }
}

// Untouched parts come back byte for byte: line ends, indentation, comments, entity
// references, CDATA, processing instructions, both empty-element forms, the declaration.
TEST_F(CredentialFileTest, SavingTheSameValuesKeepsTheFileByteForByte) {
  const std::string pass = hexOf("secret99");
  const std::vector<std::string> files = {
      fileWith("root", pass),
      "<?xml version='1.0'   encoding=\"gb2312\" standalone='yes' ?>\r\n"
      "<!DOCTYPE Root>\r\n<!-- installed -->\r\n<Root kind=\"a &amp; b\">\r\n"
      "\t<dbuser>root</dbuser><dbpass>" +
          pass +
          "</dbpass>\n"
          "  <dbuserRead></dbuserRead><dbpassRead/>\r"
          "  <note x=\"1/>2\"></note><flag on=\"1\"/><text>&lt;店&#x5E97;&gt; "
          "></text><![CDATA[<raw>]]><?pi x?>\r\n"
          "</Root>\r\n<!-- end -->\r\n\r\n",
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>\n<dbuser>" + utf8(u8"店长") +
          "</dbuser>\n<dbpass>" + pass + "</dbpass>\n<empty></empty>\n</Root>",
  };
  for (const std::string& original : files) {
    SCOPED_TRACE(original);
    write(original);
    TCredentialFile credentials(dir.path());
    const StoredCredentials values = credentials.Read();
    EXPECT_EQ(values.DbPassword, "secret99");
    credentials.Rewrite(values.DbUser, values.DbPassword);
    EXPECT_EQ(contents(), original);
  }
}

TEST_F(CredentialFileTest, RewriteChangesOnlyTheTwoTexts) {
  write(fileWith("someone", upper(hexOf("old"))));
  TCredentialFile(dir.path()).Rewrite("root", "pass1234");
  const std::string expected = fileWith("root", hexOf("pass1234"));
  EXPECT_EQ(contents(), expected);
  // An 8-character password takes one block: 16 lower-case digits.
  EXPECT_EQ(hexOf("pass1234").size(), 16u);
  EXPECT_EQ(hexOf("pass1234"), launcher::EncryptText("pass1234", "Qk#7m02x"));
}

TEST_F(CredentialFileTest, ReadsTheElementTexts) {
  struct Row {
    std::string name, content, loadedUser, loadedPassword, readUser, readPassword;
  };
  const std::string hex = hexOf("pw");
  const std::vector<Row> rows = {
      {"plain", fileWith("root", hex), "root", "pw", "root", "pw"},
      {"upper-case hex", fileWith("root", upper(hex)), "root", "pw", "root", "pw"},
      // Only LoadStoredCredentials removes blanks; blanks make the hex invalid.
      {"blanks", fileWith(" root\t", " " + hex + "\r\n"), "root", "pw", " root\t", ""},
      {"empty", fileWith("", ""), "", "", "", ""},
      {"line ends", fileWith("a\r\nb\rc&#13;", hex), "a\nb\nc", "pw", "a\nb\nc\r", "pw"},
      {"not hex", fileWith("root", "zz" + hex), "root", "", "root", ""},
      {"references and CDATA", fileWith("a&amp;b&#x5E97;<![CDATA[<&amp;>]]>", hex), "a&b店<&amp;>",
       "pw", "a&b店<&amp;>", "pw"},
      {"other document element",
       kGbDeclaration + "<Settings><dbpass>" + hex + "</dbpass><dbuser>u</dbuser></Settings>", "u",
       "pw", "u", "pw"},
      {"GBK bytes", fileWith("店长", hexOf("提示")), "店长", "提示", "店长", "提示"},
      {"UTF-8 file",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?><Root><dbuser>" + utf8(u8"店长") +
           "</dbuser></Root>",
       "店长", "", "店长", ""},
      {"no declaration", "<Root><dbuser>&#24215;</dbuser></Root>", "店", "", "店", ""},
      {"missing dbuser", kGbDeclaration + "<Root><dbpass>" + hex + "</dbpass></Root>", "", "pw", "",
       "pw"},
      {"missing dbpass", kGbDeclaration + "<Root><dbuser>root</dbuser></Root>", "root", "", "root",
       ""},
      {"not a direct child", "<Root><x><dbuser>root</dbuser></x></Root>", "", "", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    write(row.content);
    expectCredentials(LoadStoredCredentials(dir.path()), row.loadedUser, row.loadedPassword);
    expectCredentials(TCredentialFile(dir.path()).Read(), row.readUser, row.readPassword);
    EXPECT_EQ(contents(), row.content);  // reading never writes
  }
}

// A missing element is added as the last child of the document element when it is looked up,
// dbuser first; the file holds it only once the rewrite saves.
TEST_F(CredentialFileTest, MissingElementsAreAddedLastByTheRewrite) {
  struct Row {
    std::string body, rewritten;
  };
  const std::string hex = hexOf("secret");
  const std::vector<Row> rows = {
      {"<dbuserRead/>\n", "<dbuserRead/>\n<dbuser>root</dbuser><dbpass>" + hex + "</dbpass>"},
      {"<dbpass>ab</dbpass>", "<dbpass>" + hex + "</dbpass><dbuser>root</dbuser>"},
      {"<dbuser>x</dbuser><y/>", "<dbuser>root</dbuser><y/><dbpass>" + hex + "</dbpass>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    write(kGbDeclaration + "<Root>" + row.body + "</Root>");
    TCredentialFile credentials(dir.path());
    credentials.Read();
    credentials.Rewrite("root", "secret");
    EXPECT_EQ(contents(), kGbDeclaration + "<Root>" + row.rewritten + "</Root>");
  }
}

// Where pugixml cannot keep the bytes, the document stays equivalent: attributes come back in
// double quotes with single blanks between, so a '"' of a value becomes a reference.
TEST_F(CredentialFileTest, TagsComeBackInPugixmlSpelling) {
  struct Row {
    std::string original, rewritten;
  };
  const std::vector<Row> rows = {
      {"<Root a='say \"hi\"'><dbuser/><dbpass/></Root>",
       "<Root a=\"say &quot;hi&quot;\"><dbuser>u</dbuser><dbpass/></Root>"},
      {"<Root  a=\"1\" ><dbuser/><dbpass  /></Root >",
       "<Root a=\"1\"><dbuser>u</dbuser><dbpass/></Root>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.original);
    write(row.original);
    TCredentialFile(dir.path()).Rewrite("u", "");
    EXPECT_EQ(contents(), row.rewritten);
  }
}

TEST_F(CredentialFileTest, UnreadableFileRaisesTheParserError) {
  struct Row {
    std::string name, content, error;
  };
  const std::vector<Row> rows = {
      {"unclosed element", kGbDeclaration + "<Root><dbuser>x</Root>", "Start-end tags mismatch"},
      {"empty file", "", "No document element found"},
      {"bad attribute", "<Root a=1/>", "Error parsing element attribute at offset 8"},
      {"two document elements", "<Root/><Root/>", "more than one document element"},
      {"text after the document element", "<Root/>x", "text outside the document element"},
      {"declaration after the start", " " + kGbDeclaration + "<Root/>",
       "XML declaration not at the start of the document"},
      {"unknown encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root/>",
       "unsupported encoding ISO-8859-1"},
      {"UTF-8 file with GBK bytes",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><dbuser>店</dbuser></Root>",
       "dbuser does not convert to GBK"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    write(row.content);
    const std::string error = loadError();
    EXPECT_THAT(error, StartsWith(file() + ": "));
    EXPECT_THAT(error, HasSubstr(row.error));
    EXPECT_THROW(TCredentialFile{dir.path()}, launcher::LauncherError);
  }
  std::filesystem::remove(file());
  EXPECT_EQ(loadError(), file() + ": No such file or directory");
  EXPECT_THROW(TCredentialFile{dir.path()}, launcher::LauncherError);
}

TEST_F(CredentialFileTest, RewriteLeavesAnOwnerOnlyFileAndNoTemporaryFile) {
  write(fileWith("root", ""));
  ASSERT_EQ(chmod(file().c_str(), 0644), 0);
  TCredentialFile(dir.path()).Rewrite("admin", "pw");
  struct stat info {};
  ASSERT_EQ(stat(file().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "config"))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"config.xml"});
  expectCredentials(LoadStoredCredentials(dir.path()), "admin", "pw");
}

TEST_F(CredentialFileTest, ValuesAreStoredEscapedInTheDeclaredEncoding) {
  write(fileWith("", ""));
  TCredentialFile(dir.path()).Rewrite("店长", "");
  EXPECT_EQ(contents(), fileWith("\xB5\xEA\xB3\xA4", ""));

  TCredentialFile(dir.path()).Rewrite("a&b<c>\r", "");
  EXPECT_EQ(contents(), fileWith("a&amp;b&lt;c&gt;&#13;", ""));

  write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><dbuser/><dbpass/></Root>");
  TCredentialFile(dir.path()).Rewrite("店长", "");
  EXPECT_EQ(contents(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><dbuser>" +
                            utf8(u8"店长") + "</dbuser><dbpass/></Root>");
}

TEST_F(CredentialFileTest, TextThatIsNotGbkIsRefusedAndTheFileKept) {
  const std::string original = fileWith("root", "");
  write(original);
  EXPECT_THROW(TCredentialFile(dir.path()).Rewrite("\xB5", "pw"), launcher::LauncherError);
  EXPECT_EQ(contents(), original);
}

}  // namespace
