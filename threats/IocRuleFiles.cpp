// Rule generation: the domain list and the three rule files made from the
// enabled indicators of the store.
#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/evp.h>
#include <sys/wait.h>

#include <memory>
#include <mutex>

#include "common/AtomicFile.h"
#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "common/Process.h"
#include "threats/IocRules.h"
#include "threats/StoreSnapshot.h"
#include "threats/ThreatItem.h"
#include "threats/ThreatsException.h"
#include "threats/ThreatsSupport.h"

namespace {

using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free_all)>;

// Two runs at the same time would interleave their four files.
std::mutex& fetchMutex() {
  static std::mutex mutex;
  return mutex;
}

// Gives the domain list to Suricata's user so that Suricata may load it; "-h"
// changes a link put in its place rather than what the link points at.
void chownForSuricata(const std::string& path) {
  const int status = process::run({"chown", "-h", "suricata:suricata", path},
                                  build_settings::kCommandLimitSeconds);
  if (status == -1) {
    logging::error("system() call failed");
    throw ThreatsException("system() call failed");
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    logging::error("Command failed with status %d", WEXITSTATUS(status));
    throw ThreatsException("system() command failed");
  }
}

// A record's type, status and value, read from the snapshot's records or, for
// a store only the JSON library reads, from its objects as parsejson would.
const std::string& typeOf(const ThreatItem& item) { return item.ioc_type; }
bool enabled(const ThreatItem& item) { return item.status; }
const std::string& valueOf(const ThreatItem& item) { return item.ioc_value; }
const ThreatItem& recordOf(const ThreatItem& item) { return item; }
std::string typeOf(const Json::Value& object) { return ThreatItem::textMember(object, "ioc_type"); }
bool enabled(const Json::Value& object) { return ThreatItem::statusMember(object); }
std::string valueOf(const Json::Value& object) {
  return ThreatItem::textMember(object, "ioc_value");
}
ThreatItem recordOf(const Json::Value& object) { return ThreatItem::parsejson(object); }

template <typename Record>
bool isEnabledOfType(const Record& record, const char* type) {
  return typeOf(record) == type && enabled(record);
}

// The domain list: the Base64 line of every enabled domain.
template <typename Records>
std::string domainLines(const Records& records) {
  std::string lines;
  for (const auto& record : records) {
    if (!isEnabledOfType(record, "domain")) continue;
    lines += threats::base64_encode(valueOf(record));
    lines += '\n';
  }
  return lines;
}

// One line per enabled indicator of `type` that makes a rule; sids from `sid` on.
template <typename Records, typename MakeRule>
std::string ruleLines(const Records& records, const char* type, int64_t& sid, MakeRule makeRule) {
  std::string lines;
  for (const auto& record : records) {
    if (!isEnabledOfType(record, type)) continue;
    const ThreatItem& item = recordOf(record);
    const ioc_rules::Rule rule = makeRule(item, sid);
    if (rule.text.empty()) {
      logging::warning("Skipping indicator %s (%s): %s", item.uniq_id.c_str(), type,
                       rule.skipped.c_str());
      continue;
    }
    lines += rule.text;
    lines += '\n';
    ++sid;
  }
  return lines;
}

// Writes the four files from `records`, in order.
template <typename Records>
void writeRuleFiles(const Records& records, const std::vector<std::string>& paths) {
  const std::string& domainListPath = paths[4];
  replaceFileAtomically(domainListPath, domainLines(records));
  chownForSuricata(domainListPath);
  replaceFileAtomically(paths[1], ioc_rules::domainRule(domainListPath));

  int64_t sid = ioc_rules::kFirstSid;
  replaceFileAtomically(paths[3], ruleLines(records, "ip:port", sid, ioc_rules::ipPortRule));
  replaceFileAtomically(paths[2], ruleLines(records, "url", sid, ioc_rules::urlRule));
}

}  // namespace

namespace threats {

std::string base64_encode(const std::string& text) {
  BioPtr chain(BIO_new(BIO_f_base64()), BIO_free_all);
  BIO* memory = BIO_new(BIO_s_mem());
  if (!chain || !memory) {
    BIO_free(memory);
    throw ThreatsException("Cannot create the Base64 encoder");
  }
  BIO_set_flags(chain.get(), BIO_FLAGS_BASE64_NO_NL);
  BIO_push(chain.get(), memory);  // the chain now owns the memory BIO
  if (!text.empty() && BIO_write(chain.get(), text.data(), static_cast<int>(text.size())) !=
                           static_cast<int>(text.size())) {
    throw ThreatsException("Base64 encoding failed");
  }
  if (BIO_flush(chain.get()) != 1) throw ThreatsException("Base64 encoding failed");
  BUF_MEM* buffer = nullptr;
  BIO_get_mem_ptr(memory, &buffer);
  return std::string(buffer->data, buffer->length);
}

bool extract_ip_and_port(const std::string& value, std::string& ip, std::string& port) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos) return false;
  ip = value.substr(0, colon);
  port = value.substr(colon + 1);
  return true;
}

void fetch_iocs() {
  const auto paths = threats_support::readSettings({config::kIocLocalFileName,
                                                    config::kIocDomainRules, config::kIocUrlRules,
                                                    config::kIocIpRules, config::kIocDomainsLst});

  // The store is read under the lock too: a run that read an older store must
  // not write its files after a run that read a newer one.
  const std::lock_guard<std::mutex> lock(fetchMutex());
  const auto store = threats_support::readStore(paths[0], "Unable to open file:%s");
  if (store->simple()) {
    writeRuleFiles(store->records(), paths);
  } else {
    writeRuleFiles(store->document(), paths);
  }
}

}  // namespace threats
