// Request bodies: the one reader of every route that takes JSON. It never
// throws; it accepts only what the library's default reader accepts (a strict
// subset: one whole document, no byte-order mark); an object is what
// readObject keeps; and a body written back reads back, its text stable from
// the first rewrite on (the writer replaces invalid UTF-8 once).
#include <json/reader.h>
#include <json/writer.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/JsonBody.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const std::optional<Json::Value> document = json_body::read(body);
  const std::optional<Json::Value> object = json_body::readObject(body);
  FUZZ_CHECK(object.has_value() == (document.has_value() && document->isObject()));
  if (!document) return 0;

  static const Json::CharReaderBuilder kDefault;
  const std::unique_ptr<Json::CharReader> reader(kDefault.newCharReader());
  Json::Value lenient;
  bool accepted = false;
  try {
    accepted = reader->parse(body.data(), body.data() + body.size(), &lenient, nullptr);
  } catch (const Json::Exception&) {
  }
  FUZZ_CHECK(accepted);

  const std::string written = Json::writeString(Json::StreamWriterBuilder(), *document);
  const std::optional<Json::Value> reread = json_body::read(written);
  FUZZ_CHECK(reread.has_value());
  // The writer's replacement of invalid UTF-8 can make two member names one
  // ("\x90" and "\x91" both become U+FFFD), and the second of them then
  // goes on reading: from the first rewrite on, the text stays the same.
  const std::string rewritten = Json::writeString(Json::StreamWriterBuilder(), *reread);
  const std::optional<Json::Value> again = json_body::read(rewritten);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(Json::writeString(Json::StreamWriterBuilder(), *again) == rewritten);
  return 0;
}
