// Escaping outside text for the log.
#include "common/Log.h"

#include <gtest/gtest.h>

namespace {

using logging::Escape;

TEST(LogTest, EscapedWritesEveryControlByteVisibly) {
  const struct {
    std::string text;
    std::string controls;  // Escape::kControls: every log line
    std::string quotable;  // Escape::kQuotable: a quoted audit field
  } cases[] = {
      {"plain text", "plain text", "plain text"},
      {"x\x1b[31mRED", R"(x\x1b[31mRED)", R"(x\x1b[31mRED)"},
      {"a\nAudit: forged", R"(a\nAudit: forged)", R"(a\nAudit: forged)"},
      {"cr\rvt\vdel\x7f", R"(cr\x0dvt\x0bdel\x7f)", R"(cr\x0dvt\x0bdel\x7f)"},
      {"\x01\x1f\t", R"(\x01\x1f\x09)", R"(\x01\x1f\x09)"},
      {std::string("a\0b", 3), R"(a\x00b)", R"(a\x00b)"},
      {R"(msg:"x" a\b)", R"(msg:"x" a\b)", R"(msg:\"x\" a\\b)"},
      {"\x20~", " ~", " ~"},                                         // the printable ends stay
      {"caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff"},  // bytes from 0x80 on stay
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(logging::escaped(c.text), c.controls);
    EXPECT_EQ(logging::escaped(c.text, Escape::kQuotable), c.quotable);
  }
}

}  // namespace
