// One line of a rules file: RuleItem::parse and the keyword extractors. The
// parsed fields must be what the extractors give for the same line.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "rules/RuleFunctions.h"
#include "rules/RuleItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace RuleFunctions;
  const std::string line(reinterpret_cast<const char*>(data), size);

  const std::string action = get_action_safe(line);
  const std::string protocol = get_proto_safe(line);
  const std::string classtype = get_classtype_safe(line);
  const std::string sid = get_sid_safe(line);
  const std::string rev = get_revision_safe(line);
  const std::string msg = get_message_safe(line);
  FUZZ_CHECK(sid == "unlnown" || (!sid.empty() && is_digits(sid)));
  FUZZ_CHECK(rev == "unlnown" || (!rev.empty() && is_digits(rev)));

  for (const std::string& token : get_all_tokens(line)) {
    FUZZ_CHECK(!token.empty());
    FUZZ_CHECK(token.find_first_of(" .,;:!()#") == std::string::npos);
  }
  for (const std::string& token : get_all_message_tokens(line)) {
    FUZZ_CHECK(!token.empty());
    FUZZ_CHECK(token.find_first_of(":;()") == std::string::npos);
  }

  const std::string trimmed = ltrim(line);
  FUZZ_CHECK(trimmed.empty() || std::string(" \t\n\v\f\r").find(trimmed[0]) == std::string::npos);
  FUZZ_CHECK(line.size() >= trimmed.size() &&
             line.compare(line.size() - trimmed.size(), trimmed.size(), trimmed) == 0);
  const std::string bare = removeComment(line);
  FUZZ_CHECK(bare.size() <= line.size());

  // A text holding only this line has its sid exactly when it has one.
  if (!line.empty() && line.find('\n') == std::string::npos) FUZZ_CHECK(text_has_sid(line, sid));

  try {
    const RuleItem item = RuleItem::parse(line);
    FUZZ_CHECK(item.enabled == (line.empty() || line[0] != '#'));
    FUZZ_CHECK(item.content == (item.enabled ? line : line.substr(1)));
    FUZZ_CHECK(item.action == action && item.protocol == protocol);
    FUZZ_CHECK(item.classtype == classtype && item.msg == msg);
    FUZZ_CHECK(is_digits(sid) && is_digits(rev));
    const Json::Value json = item.toJson();
    FUZZ_CHECK(json["content"].asString() == item.content);
    FUZZ_CHECK(json["sid"].asUInt() == item.sid);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  return 0;
}
