// The threshold file's entries, and its edits under the file's edit lock.
#include "rules/ThresholdFile.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "common/AtomicFile.h"
#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Process.h"
#include "rules/RuleFiles.h"

namespace threshold {

namespace {

constexpr char kUnopenable[] = "Unable to open threshold file";

std::string contentOf(const std::string& path) {
  std::optional<std::string> text = rule_files::readIfOpenable(path);
  if (!text) throw RulesException(kUnopenable);
  return *std::move(text);
}

// A file of its own beside `path` holding `content`, removed when this ends.
class CandidateFile {
 public:
  CandidateFile(const std::string& path, const std::string& content)
      : name_(path + ".candidate.XXXXXX") {
    const int fd = mkstemp(name_.data());
    if (fd < 0) throw std::runtime_error(name_ + ": " + std::strerror(errno));
    size_t written = 0;
    while (written < content.size()) {
      const ssize_t n = write(fd, content.data() + written, content.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const std::string reason = std::strerror(errno);
        close(fd);
        unlink(name_.c_str());
        throw std::runtime_error(name_ + ": " + reason);
      }
      written += static_cast<size_t>(n);
    }
    close(fd);
  }
  ~CandidateFile() { unlink(name_.c_str()); }
  CandidateFile(const CandidateFile&) = delete;
  CandidateFile& operator=(const CandidateFile&) = delete;

  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

// Where line `line` (1-based) of `text` begins, and where the next begins
// (its line feed included), or nothing past the last line.
std::optional<std::pair<size_t, size_t>> lineSpan(const std::string& text, uint64_t line) {
  size_t begin = 0;
  for (uint64_t n = 1; begin < text.size(); ++n) {
    const size_t feed = text.find('\n', begin);
    const size_t next = feed == std::string::npos ? text.size() : feed + 1;
    if (n == line) return std::make_pair(begin, next);
    begin = next;
  }
  return std::nullopt;
}

}  // namespace

std::vector<ListedEntry> entriesOf(std::string_view text) {
  std::vector<ListedEntry> entries;
  uint64_t number = 0;
  rule_files::forEachLine(text, [&](std::string_view line) {
    ++number;
    if (std::optional<LineEntry> read = readLine(line)) {
      entries.push_back({*std::move(read), number, std::string(line)});
    }
  });
  return entries;
}

std::vector<ListedEntry> readEntries(const std::string& path) { return entriesOf(contentOf(path)); }

std::pair<bool, std::string> testWithSuricata(const std::string& candidate) {
  const std::string suricataConf = config::readString(config::kSuricataConf);
  int status = 0;
  std::string output = process::exec(
      {"suricata", "-T", "-c", suricataConf, "--set", "threshold-file=" + candidate},
      build_settings::kSuricataTestLimitSeconds, process::Capture::kOutputAndErrors, &status);
  const bool exitedClean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (output.find("E: ") != std::string::npos || !exitedClean) {
    if (output.empty()) output = "The test run failed without output";
    return {false, std::move(output)};
  }
  return {true, ""};
}

AddOutcome addEntry(const std::string& path, const Entry& entry, const CandidateTest& test) {
  const auto lock = rule_files::lockForEdit(path);
  std::string text = contentOf(path);
  for (const ListedEntry& listed : entriesOf(text)) {
    if (listed.read.enabled && sameEntry(listed.read.entry, entry)) {
      return {AddResult::kExists, "Line " + std::to_string(listed.line) + " holds that entry"};
    }
  }
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += writeLine(entry) + "\n";
  {
    const CandidateFile candidate(path, text);
    auto [passed, message] = test(candidate.name());
    if (!passed) return {AddResult::kRejected, std::move(message)};
  }
  replaceFileAtomically(path, text);
  return {AddResult::kAdded, ""};
}

bool deleteEntry(const std::string& path, uint64_t line, const std::string& content) {
  const auto lock = rule_files::lockForEdit(path);
  std::string text = contentOf(path);
  const auto span = lineSpan(text, line);
  if (!span) return false;
  const auto [begin, next] = *span;
  const size_t end = next > begin && text[next - 1] == '\n' ? next - 1 : next;
  const std::string_view held(text.data() + begin, end - begin);
  if (held != content || !readLine(held)) return false;
  text.erase(begin, next - begin);
  replaceFileAtomically(path, text);
  return true;
}

}  // namespace threshold
