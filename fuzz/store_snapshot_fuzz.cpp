// The indicator store's own reader: whenever it reads a text without the
// JSON library, its records must be the ones the JSON library reads from the
// same text. Input: the store's text.
#include <cstdint>
#include <string>

#include "common/FileCache.h"
#include "fuzz/FuzzSupport.h"
#include "threats/StoreSnapshot.h"
#include "threats/ThreatItem.h"
#include "threats/ThreatsSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const threats::StoreSnapshot snapshot(file_cache::FileText::copyOf(text));
  if (!snapshot.simple()) return 0;

  Json::Value document;
  std::string error;
  FUZZ_CHECK(threats_support::parseJson(text, document, error));
  FUZZ_CHECK(document.isNull() || document.isArray());
  FUZZ_CHECK(snapshot.size() == (document.isNull() ? 0 : document.size()));
  for (Json::ArrayIndex i = 0; i < snapshot.size(); ++i) {
    FUZZ_CHECK(snapshot.record(i).toJson() == ThreatItem::parsejson(document[i]).toJson());
  }
  return 0;
}
