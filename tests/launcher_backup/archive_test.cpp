// Backup archives written while the dump is fed in: entries, order, bytes
// and compression as the unzip tools see them; an existing archive updated;
// nothing under the final name before the archive is complete, and nothing
// changed when it is discarded.
#include "launcher/backup/archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/process.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::runTool;
using testsupport::writeFile;

namespace fs = std::filesystem;
using launcher::TArchiveWriter;

// Dump-like text with GBK names: lines of inserts, a few MB.
std::string dumpText(std::size_t bytes) {
  std::mt19937 random(7);
  std::string text = "-- MariaDB dump\n";
  while (text.size() < bytes) {
    text += "INSERT INTO `goods` VALUES (" + std::to_string(random()) + ",'\xC9\xCC\xC6\xB7" +
            std::to_string(random() % 1000) + "',12.50),(" + std::to_string(random()) +
            ",'\xB2\xE8',3.00);\n";
  }
  return text + "-- Dump completed on 2026-12-10 10:00:00\n";
}

void feedInPieces(TArchiveWriter& writer, const std::string& bytes) {
  std::mt19937 random(11);
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t piece = std::min<std::size_t>(1 + random() % 70000, bytes.size() - at);
    writer.Feed(std::string_view(bytes).substr(at, piece));
    at += piece;
  }
}

const std::string kReadme = "\xB9\xAB\xCB\xBE\xC3\xFB\xB3\xC6\xA3\xBA\r\n\r\n";

TEST(Archive, HoldsTheDumpThenTheDescriptionByteForByte) {
  TempDir temp;
  const std::string archive = temp.path() + "shop-2026-12-10-1000-#ABC.zip";
  const std::string dump = dumpText(3 << 20);
  TArchiveWriter writer(archive, "shop-2026-12-10-1000-#ABC.SQL", "readme.txt", kReadme);
  std::string error;
  ASSERT_TRUE(writer.Begin(&error)) << error;
  feedInPieces(writer, dump.substr(0, dump.size() / 2));
  // Nothing stands under the archive's name before it is complete.
  EXPECT_FALSE(fs::exists(archive));
  feedInPieces(writer, dump.substr(dump.size() / 2));
  ASSERT_TRUE(writer.Finish(true, &error)) << error;

  EXPECT_TRUE(runTool({"unzip", "-tq", archive}).second == 0);
  EXPECT_EQ(runTool({"unzip", "-Z1", archive}).first,
            "shop-2026-12-10-1000-#ABC.SQL\nreadme.txt\n");
  EXPECT_EQ(runTool({"unzip", "-p", archive, "shop-2026-12-10-1000-#ABC.SQL"}).first, dump);
  EXPECT_EQ(runTool({"unzip", "-p", archive, "readme.txt"}).first, kReadme);
  // Deflated at the normal level; the dump's text shrinks well.
  const std::string listing = runTool({"unzip", "-Z", archive}).first;
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 5) << listing;
  EXPECT_NE(listing.find("defN"), std::string::npos) << listing;
  EXPECT_LT(fs::file_size(archive), dump.size() / 3);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1);
}

TEST(Archive, AnExistingArchiveIsUpdatedAndKeepsItsOtherEntries) {
  TempDir temp;
  const std::string archive = temp.path() + "shop.zip";
  std::ofstream(temp.path() + "notes.txt") << "kept";
  std::ofstream(temp.path() + "shop.SQL") << "old dump";
  ASSERT_TRUE(runTool({"zip", "-jq", archive, temp.path() + "shop.SQL", temp.path() + "notes.txt"})
                  .second == 0);
  TArchiveWriter writer(archive, "shop.SQL", "readme.txt", kReadme);
  std::string error;
  ASSERT_TRUE(writer.Begin(&error)) << error;
  writer.Feed("new dump");
  ASSERT_TRUE(writer.Finish(true, &error)) << error;
  EXPECT_EQ(runTool({"unzip", "-Z1", archive}).first, "shop.SQL\nnotes.txt\nreadme.txt\n");
  EXPECT_EQ(runTool({"unzip", "-p", archive, "shop.SQL"}).first, "new dump");
  EXPECT_EQ(runTool({"unzip", "-p", archive, "notes.txt"}).first, "kept");
}

TEST(Archive, ADiscardedArchiveChangesNothing) {
  TempDir temp;
  struct Row {
    const char* name;
    bool existed;
  };
  for (const Row& row : {Row{"a new archive", false}, Row{"an existing archive", true}}) {
    SCOPED_TRACE(row.name);
    const std::string archive = temp.path() + "shop.zip";
    fs::remove(archive);
    if (row.existed) {
      std::ofstream(temp.path() + "shop.SQL") << "good dump";
      ASSERT_TRUE(runTool({"zip", "-jq", archive, temp.path() + "shop.SQL"}).second == 0);
      fs::remove(temp.path() + "shop.SQL");
    }
    const std::string before = row.existed ? readFile(archive) : "";
    {
      TArchiveWriter writer(archive, "shop.SQL", "readme.txt", kReadme);
      std::string error;
      ASSERT_TRUE(writer.Begin(&error)) << error;
      feedInPieces(writer, dumpText(1 << 20));
      EXPECT_FALSE(writer.Finish(false, &error));
    }
    EXPECT_EQ(fs::exists(archive), row.existed);
    if (row.existed) {
      EXPECT_EQ(readFile(archive), before);
    }
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()),
              row.existed ? 1 : 0);
  }
}

TEST(Archive, AnArchiveThatCannotBeWrittenIsReported) {
  TempDir temp;
  TArchiveWriter writer(temp.path() + "missing/shop.zip", "shop.SQL", "readme.txt", kReadme);
  std::string error;
  const bool begun = writer.Begin(&error);
  if (begun) {
    writer.Feed("dump");
    EXPECT_FALSE(writer.Finish(true, &error));
  }
  EXPECT_NE(error.find("missing/shop.zip"), std::string::npos) << error;
}

}  // namespace
