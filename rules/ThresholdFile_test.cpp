// The threshold file's entries and its edits: the file as Suricata ships it,
// additions judged by a stand-in test, removals by line and content.
#include "rules/ThresholdFile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

using threshold::AddResult;
using threshold::Entry;
using threshold::Kind;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

const std::string& shippedFile() {
  static const std::string text =
      readAll(std::string(PAVORA_SOURCE_DIR) + "/tests/data/threshold_shipped.config");
  return text;
}

Entry suppression(uint32_t sid, const char* ip) {
  Entry entry;
  entry.sigId = sid;
  entry.track = "by_src";
  entry.ip = ip;
  return entry;
}

TEST(ThresholdFileTest, ListsTheEntriesOfTheShippedFileInOrder) {
  struct Expected {
    uint64_t line;
    bool enabled;
    Kind kind;
    uint32_t sid;
    const char* content;
  };
  const Expected expected[] = {
      {18, false, Kind::kThreshold, 0,
       "#threshold gen_id 0, sig_id 0, type threshold, track by_src, count 10, seconds 10"},
      {21, false, Kind::kSuppress, 2009557,
       "#suppress gen_id 1, sig_id 2009557, track by_src, ip 217.110.97.128/25"},
      {23, true, Kind::kSuppress, 2013028,
       "suppress gen_id 1, sig_id 2013028, track by_src, ip 10.0.0.5"},
      {24, true, Kind::kThreshold, 2002087,
       "threshold gen_id 1, sig_id 2002087, type limit, track by_src, count 1, seconds 15"},
      {25, true, Kind::kSuppress, 2210000, "suppress gen_id 1, sig_id 2210000"},
  };
  const std::vector<threshold::ListedEntry> entries = threshold::entriesOf(shippedFile());
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(expected[i].content);
    EXPECT_EQ(entries[i].line, expected[i].line);
    EXPECT_EQ(entries[i].read.enabled, expected[i].enabled);
    EXPECT_EQ(entries[i].read.entry.kind, expected[i].kind);
    EXPECT_EQ(entries[i].read.entry.sigId, expected[i].sid);
    EXPECT_EQ(entries[i].content, expected[i].content);
  }
}

TEST(ThresholdFileTest, ContentKeepsTheLineAsItStands) {
  const auto entries =
      threshold::entriesOf("suppress gen_id 1, sig_id 5\r\n\n  #suppress gen_id 1,sig_id 6");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].content, "suppress gen_id 1, sig_id 5\r");
  EXPECT_EQ(entries[1].line, 3u);
  EXPECT_EQ(entries[1].content, "  #suppress gen_id 1,sig_id 6");
}

class ThresholdEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "threshold_file_XXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    file_ = dir_ + "/threshold.config";
  }
  void TearDown() override {
    for (const std::string& name : names()) unlink((dir_ + "/" + name).c_str());
    rmdir(dir_.c_str());
  }

  // The names in the folder: the file alone once an edit is over.
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    DIR* dir = opendir(dir_.c_str());
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") found.push_back(name);
    }
    closedir(dir);
    return found;
  }

  // A test that records the candidate it was given and passes or fails.
  threshold::CandidateTest recordingTest(bool passes) {
    return [this, passes](const std::string& candidate) {
      candidates_.push_back(readAll(candidate));
      EXPECT_EQ(candidate.rfind(file_ + ".candidate.", 0), 0u) << candidate;
      return std::make_pair(passes, passes ? std::string() : std::string("E: bad threshold"));
    };
  }

  std::string dir_;
  std::string file_;
  std::vector<std::string> candidates_;
};

TEST_F(ThresholdEditTest, AddTestsTheWholeNewFileThenReplacesIt) {
  writeAll(file_, shippedFile());
  const auto outcome =
      threshold::addEntry(file_, suppression(2019401, "192.0.2.0/24"), recordingTest(true));
  EXPECT_EQ(outcome.result, AddResult::kAdded);
  const std::string expected =
      shippedFile() + "suppress gen_id 1, sig_id 2019401, track by_src, ip 192.0.2.0/24\n";
  EXPECT_EQ(candidates_, std::vector<std::string>{expected});
  EXPECT_EQ(readAll(file_), expected);
  EXPECT_EQ(names(), std::vector<std::string>{"threshold.config"});
}

TEST_F(ThresholdEditTest, AddPutsTheEntryOnALineOfItsOwn) {
  writeAll(file_, "suppress gen_id 1, sig_id 5");
  threshold::addEntry(file_, suppression(6, "10.0.0.1"), recordingTest(true));
  EXPECT_EQ(
      readAll(file_),
      "suppress gen_id 1, sig_id 5\nsuppress gen_id 1, sig_id 6, track by_src, ip 10.0.0.1\n");
}

TEST_F(ThresholdEditTest, AFailedTestLeavesTheFileUntouched) {
  writeAll(file_, shippedFile());
  const auto outcome = threshold::addEntry(file_, suppression(7, "10.0.0.1"), recordingTest(false));
  EXPECT_EQ(outcome.result, AddResult::kRejected);
  EXPECT_EQ(outcome.message, "E: bad threshold");
  EXPECT_EQ(readAll(file_), shippedFile());
  EXPECT_EQ(names(), std::vector<std::string>{"threshold.config"});
}

TEST_F(ThresholdEditTest, AnEnabledEntryActingTheSameIsADuplicate) {
  writeAll(file_,
           "suppress gen_id 1 , sig_id 9,track by_src, ip [10.0.0.1, 10.0.0.2]\n"
           "#suppress gen_id 1, sig_id 8, track by_src, ip 10.0.0.1\n");
  const auto same =
      threshold::addEntry(file_, suppression(9, "[10.0.0.1,10.0.0.2]"), recordingTest(true));
  EXPECT_EQ(same.result, AddResult::kExists);
  EXPECT_EQ(same.message, "Line 1 holds that entry");
  EXPECT_TRUE(candidates_.empty()) << "a duplicate was tested";
  // A commented-out copy does not act: adding it again is no duplicate.
  EXPECT_EQ(threshold::addEntry(file_, suppression(8, "10.0.0.1"), recordingTest(true)).result,
            AddResult::kAdded);
}

TEST_F(ThresholdEditTest, AMissingFileIsNotCreated) {
  EXPECT_THROW(threshold::addEntry(file_, suppression(1, "10.0.0.1"), recordingTest(true)),
               RulesException);
  EXPECT_THROW(threshold::readEntries(file_), RulesException);
  EXPECT_THROW(threshold::deleteEntry(file_, 1, "suppress gen_id 1, sig_id 2"), RulesException);
  EXPECT_TRUE(names().empty());
}

TEST_F(ThresholdEditTest, DeleteRemovesTheLineOnlyWhileItHoldsTheContent) {
  const std::string text =
      "# header\nsuppress gen_id 1, sig_id 5\r\n#suppress gen_id 1, sig_id 6\n"
      "suppress gen_id 1, sig_id 7";
  struct Case {
    const char* name;
    uint64_t line;
    std::string content;
    std::optional<std::string> after;  // nothing: refused, the file unchanged
  };
  const Case cases[] = {
      {"an entry with its CR", 2, "suppress gen_id 1, sig_id 5\r",
       "# header\n#suppress gen_id 1, sig_id 6\nsuppress gen_id 1, sig_id 7"},
      {"a commented-out entry", 3, "#suppress gen_id 1, sig_id 6",
       "# header\nsuppress gen_id 1, sig_id 5\r\nsuppress gen_id 1, sig_id 7"},
      {"the last line without a line feed", 4, "suppress gen_id 1, sig_id 7",
       "# header\nsuppress gen_id 1, sig_id 5\r\n#suppress gen_id 1, sig_id 6\n"},
      {"content without the CR", 2, "suppress gen_id 1, sig_id 5", std::nullopt},
      {"content of another line", 3, "suppress gen_id 1, sig_id 5\r", std::nullopt},
      {"a comment is no entry", 1, "# header", std::nullopt},
      {"line 0", 0, "# header", std::nullopt},
      {"past the last line", 5, "suppress gen_id 1, sig_id 7", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeAll(file_, text);
    EXPECT_EQ(threshold::deleteEntry(file_, c.line, c.content), c.after.has_value());
    EXPECT_EQ(readAll(file_), c.after.value_or(text));
  }
}

}  // namespace
