// Per-signature statistics of alerts.
#include "events/AlertAggregates.h"

#include <gtest/gtest.h>

namespace {

Alert alert(const std::string& signature, const std::string& category, int64_t id) {
  Alert a;
  a.signature = signature;
  a.category = category;
  a.signature_id = id;
  return a;
}

TEST(CalculateSignatureStatsTest, OneRowPerIdWithTheFirstTextsInOrderOfFirstSight) {
  const std::vector<Alert> alerts = {
      alert("Scan A", "Recon", 2001),          alert("", "", 0),
      alert("Scan A, renamed", "Other", 2001), alert("Big sid", "Policy", 4294967295),
      alert("Scan A", "Recon", 2001),
  };
  const std::vector<SignatureStats> rows = events::calculateSignatureStats(alerts);
  ASSERT_EQ(rows.size(), 3u);
  const struct {
    const char* signature;
    const char* category;
    int64_t id;
    int total;
  } expected[] = {
      {"Scan A", "Recon", 2001, 3}, {"", "", 0, 1}, {"Big sid", "Policy", 4294967295, 1}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].signature, expected[i].signature);
    EXPECT_EQ(rows[i].category, expected[i].category);
    EXPECT_EQ(rows[i].signature_id, expected[i].id);
    EXPECT_EQ(rows[i].total, expected[i].total);
  }
  EXPECT_TRUE(events::calculateSignatureStats({}).empty());
}

}  // namespace
