// The slash-run measure of the target guard.
#include "server/TargetGuard.h"

#include <gtest/gtest.h>

namespace {

TEST(TargetGuardTest, LongestSlashRun) {
  const struct {
    const char* path;
    size_t run;
  } cases[] = {
      {"", 0},         {"events", 0},    {"/", 1},           {"/events/alert", 1},
      {"//events", 2}, {"/a//b///c", 3}, {"/a/////////", 9}, {"/a////b//////////c/", 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TargetGuard::longestSlashRun(c.path), c.run) << c.path;
  }
}

}  // namespace
