// One line of the threshold file, and entries built from the input: a line
// the reader takes reads back the same once written, a written entry never
// spans two lines, and the listing of a text names only its own lines.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "rules/ThresholdFile.h"
#include "rules/ThresholdLine.h"

namespace {

// A written entry is one line that reads back as the entry, enabled.
void checkWritten(const threshold::Entry& entry) {
  const std::string line = threshold::writeLine(entry);
  FUZZ_CHECK(!fuzz::hasLineBreak(line));
  const std::optional<threshold::LineEntry> read = threshold::readLine(line);
  FUZZ_CHECK(read.has_value());
  FUZZ_CHECK(read->enabled);
  FUZZ_CHECK(read->entry == entry);
}

std::optional<std::string> optionalText(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<uint32_t> optionalNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  for (const char c : text) value = value * 31 + static_cast<unsigned char>(c);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // As a line of a file: what the reader takes without a problem writes back.
  if (const std::optional<threshold::LineEntry> read = threshold::readLine(text)) {
    if (!threshold::problemOf(read->entry)) checkWritten(read->entry);
  }

  // As a file: every listed entry is one of its lines, read as that line.
  for (const threshold::ListedEntry& listed : threshold::entriesOf(text)) {
    FUZZ_CHECK(listed.content.find('\n') == std::string::npos);
    FUZZ_CHECK(listed.line >= 1);
    const std::optional<threshold::LineEntry> again = threshold::readLine(listed.content);
    FUZZ_CHECK(again.has_value() && again->entry == listed.read.entry);
  }

  // As the values of an entry: whatever they are, an entry without a problem
  // is written as one line that reads back the same.
  const std::vector<std::string> f = fuzz::fields(data, size, 9);
  threshold::Entry entry;
  const threshold::Kind kinds[] = {threshold::Kind::kSuppress, threshold::Kind::kThreshold,
                                   threshold::Kind::kEventFilter, threshold::Kind::kRateFilter};
  entry.kind = kinds[f[0].empty() ? 0 : static_cast<unsigned char>(f[0][0]) % 4];
  entry.genId = optionalNumber(f[0]).value_or(1);
  entry.sigId = optionalNumber(f[1]).value_or(0);
  entry.track = optionalText(f[2]);
  entry.ip = optionalText(f[3]);
  entry.type = optionalText(f[4]);
  entry.count = optionalNumber(f[5]);
  entry.seconds = optionalNumber(f[6]);
  entry.newAction = optionalText(f[7]);
  entry.timeout = optionalNumber(f[8]);
  if (!threshold::problemOf(entry)) checkWritten(entry);
  return 0;
}
