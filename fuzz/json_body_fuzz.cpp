// Request bodies: the JSON reading of the rule edits and of the threat
// routes (the library's default reader settings). A body written back must
// read as the same document (the writer replaces invalid UTF-8 once, so the
// written texts are compared).
#include <cstdint>
#include <memory>
#include <string>

#include <json/reader.h>
#include <json/writer.h>

#include "fuzz/FuzzSupport.h"
#include "threats/ThreatsSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);

  Json::Value root;
  std::string error;
  bool parsed = false;
  try {
    parsed = threats_support::parseJson(body, root, error);
  } catch (const Json::Exception&) {
    // Nesting past the reader's limit is thrown, not returned: the threat
    // handlers answer it through their catch clause.
  }

  // The rule edits read with the same default settings and take a thrown
  // error for a body that is not JSON.
  static const Json::CharReaderBuilder kBuilder;
  const std::unique_ptr<Json::CharReader> reader(kBuilder.newCharReader());
  Json::Value again;
  bool edits = false;
  try {
    edits = reader->parse(body.data(), body.data() + body.size(), &again, nullptr);
  } catch (const Json::Exception&) {
  }
  FUZZ_CHECK(parsed == edits);
  if (!parsed) return 0;

  const std::string written = Json::writeString(Json::StreamWriterBuilder(), root);
  Json::Value reread;
  FUZZ_CHECK(threats_support::parseJson(written, reread, error));
  FUZZ_CHECK(Json::writeString(Json::StreamWriterBuilder(), reread) == written);
  return 0;
}
