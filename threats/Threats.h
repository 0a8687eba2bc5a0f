// Threat intelligence: the feed of indicators of compromise is downloaded and
// unpacked, filtered into the local indicator store, listed and switched on
// and off, turned into Suricata rule files, and those files are switched in
// Suricata's configuration. Every handler adds the Threats cross-origin set
// first; every file it writes is replaced whole (write aside, then rename).
#ifndef THREATS_THREATS_H_
#define THREATS_THREATS_H_

#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

#include "threats/ThreatItem.h"
#include "threats/ThreatsException.h"

class Threats {
 public:
  // Adds origin "*", methods "GET, POST, PUT, DELETE, OPTIONS" and headers
  // "Origin, X-Requested-With, Content-Type, Accept, Authorization".
  static void addCORSHeaders(Pistache::Http::ResponseWriter& response);

  // ---- Handlers: feed (ThreatsHandlers.cpp) ------------------------------------

  // GET "/ioc/download/": 200 "ZIP downloading and unzipping"; 500 with the
  // failure's text ("Error downloading file", "Error in unzipFile", or the
  // configuration library's text). Plain text.
  static void handleDownloadRequest(const Pistache::Rest::Request& request,
                                    Pistache::Http::ResponseWriter response);
  // GET "/ioc/filter/:n_days": rebuilds the store on a thread of its own.
  // 200 "Threats processed successfully"; 500 "Error processing data" when the
  // rebuild failed, "Bad lexical cast" for a segment that is no number,
  // "Internal server error" for any other failure. Plain text.
  static void getRecentThreats(const Pistache::Rest::Request& request,
                               Pistache::Http::ResponseWriter response);

  // ---- Handlers: store listing and switch ----------------------------------------

  // GET "/ioc/", "/ioc/ioc_id/:id", "/ioc/ioc_type/:ioc_type",
  // "/ioc/ioc_status/:status", query "page" (default 1) and "page_size"
  // (default 10): 200 application/json, the styled array of the page's records
  // ("null" when the page is empty); 400 "Invalid 'page' parameter" or
  // "Invalid 'page_size' parameter"; 500 with the failure's text.
  static void handleGetThreats(const Pistache::Rest::Request& request,
                               Pistache::Http::ResponseWriter response);
  static void handleFindThreatsById(const Pistache::Rest::Request& request,
                                    Pistache::Http::ResponseWriter response);
  static void handleFindThreatsByIocType(const Pistache::Rest::Request& request,
                                         Pistache::Http::ResponseWriter response);
  static void handleFindThreatsByStatus(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // POST "/ioc/toggle/", body {"content": uid as text or number}: a styled
  // {"message", "status"} object without content type. 400 "Invalid JSON
  // format" or "Content ID is missing"; 500 with the failure's text; 200
  // "Threat status was changed.".
  static void handleToggleThreatStatus(const Pistache::Rest::Request& request,
                                       Pistache::Http::ResponseWriter response);

  // ---- Handlers: rule generation and rule-file switches ----------------------------

  // GET "/ioc/fetch/": 200 "Action was success!"; 400 with the failure's text.
  static void handleFetchIocs(const Pistache::Rest::Request& request,
                              Pistache::Http::ResponseWriter response);
  // GET "/ioc/rules/status/": 200 with the status text (empty when Suricata's
  // configuration cannot be opened); 500 with the failure's text.
  static void handlegetThreatsRuleFilesStatus(const Pistache::Rest::Request& request,
                                              Pistache::Http::ResponseWriter response);
  // POST "/ioc/rules/modify/", body {"ioc_domain.rules": bool, ...}: 400
  // "Invalid JSON"; 200 "Suricata config modyfied."; 500 with the failure's text.
  static void handlemodifyRuleFilesStatus(const Pistache::Rest::Request& request,
                                          Pistache::Http::ResponseWriter response);

  // ---- Feed download and store rebuild (ThreatsDownload.cpp) -----------------------

  // The body fetched from "application.settings.ioc_full_link": connect
  // time-out 10 s, whole transfer 15 s, no redirects, HTTP status not looked
  // at. Throws ThreatsException "Error downloading file" on any failure,
  // configuration included (logged with its cause), and when the body grows
  // past kMaxFeedBytes.
  static std::string downloadFile();

  // Bound on the downloaded archive and on the unpacked feed file, both held
  // in memory: a hostile or broken feed must not exhaust the sensor's memory.
  static constexpr uint64_t kMaxFeedBytes = uint64_t{1} << 30;

  // The content of the archive's last entry (every earlier entry must open),
  // without touching any file. Throws ThreatsException with the cause when the
  // bytes are no zip archive, the archive holds no entry, an entry cannot be
  // opened or read, or the last one unpacks to more than `maxBytes`.
  static std::string unpackedFeed(const std::string& archive, uint64_t maxBytes = kMaxFeedBytes);

  // Writes the archive's last entry as `directory` + "/full.csv", replacing the
  // old file whole. Throws ThreatsException "Error in unzipFile" (logged with
  // its cause) when the bytes are no zip archive, the archive holds no entry,
  // an entry cannot be opened or read, the entry unpacks to more than
  // `maxBytes`, or the file cannot be written; the old file is then left as it was.
  static void unzipFile(const std::string& archive, const std::string& directory,
                        uint64_t maxBytes = kMaxFeedBytes);

  // Downloads and unpacks into "application.settings.ioc_full_file_path", on
  // the calling thread. Throws std::runtime_error with the text of the failure.
  static void downloadAndUnzipAsync();

  // Rebuilds the store ("application.settings.ioc_local_file_name") from the
  // feed file ("application.settings.ioc_full_file_name"): every data line
  // first seen within `n_days` days whose type is acted on, enabled, in feed
  // order; JSON null when none qualifies. Returns false (and logs) when the
  // configuration, the feed file or the store fails.
  static bool processThreats(int32_t n_days);

  // True when `date` ("%Y-%m-%d %H:%M:%S" in UTC, double quotes ignored) lies
  // no more than 24 × n_days whole hours before now, or in the future. A text
  // that is no such date is never within.
  static bool isWithinNDays(const std::string& date, int32_t n_days);

  // True for the types that rules are made from: "ip:port", "url", "domain".
  static bool isWithinValidTypes(const ThreatItem& item);

  // ---- Store queries and switch (ThreatsQueries.cpp) --------------------------------

  // One page of the store's records: all of them, those with this `id`, this
  // `ioc_type`, or enabled (`status` "enabled") / disabled (any other text).
  // `page` counts from 1. Throw ThreatsException ("Error reading config
  // file: " or "Error reading config file", "Config setting not found",
  // "Unable to open IOC file", or the JSON library's error text).
  static std::vector<ThreatItem> getThreats(int32_t page, int32_t page_size);
  static std::vector<ThreatItem> findThreatsById(const std::string& id, int32_t page,
                                                 int32_t page_size);
  static std::vector<ThreatItem> findThreatsByIocType(const std::string& ioc_type,
                                                      int32_t page, int32_t page_size);
  static std::vector<ThreatItem> findThreatsByStatus(const std::string& status, int32_t page,
                                                     int32_t page_size);

  // Flips `status` of every stored record whose uid is `uid` and rewrites the
  // store, serialised with every other writer of the store in this process.
  // Throws std::runtime_error "Config error: ...", "Unable to open file: ...",
  // "Error reading JSON from file: ...", "Threat with given UID not found"
  // (store untouched) or the write failure naming the store.
  static void ToggleThreatStatus(uint64_t uid);

  // ---- Rule generation (ThreatsRules.cpp) ---------------------------------------

  // From the enabled records of the store writes, in this order, the domain
  // list (Base64 lines), chowns it to suricata:suricata, then the domain rule
  // file, the address-and-port rule file and the URL rule file, each replaced
  // whole. An indicator that cannot make a safe rule is skipped and logged and
  // takes no sid. Throws ThreatsException ("Error reading config file",
  // "Config setting not found", "Unable to open IOC file", "system() call
  // failed", "system() command failed", or the write failure naming the file)
  // or the JSON library's error; files after the failing step stay as they were.
  static void fetch_iocs();

  // RFC 4648 Base64 of `text`, with padding, without line breaks.
  static std::string base64_encode(const std::string& text);

  // Splits `value` at its first colon into `ip` and `port`; false (outputs
  // untouched) when it has none.
  static bool extract_ip_and_port(const std::string& value, std::string& ip, std::string& port);

  // ---- Rule-file switches in Suricata's configuration (ThreatsRuleFiles.cpp) -------

  // {"ioc_domain.rules", "ioc_ip.rules", "ioc_url.rules"} → enabled, for the
  // names that "application.settings.suricata_conf" mentions, as JSON text
  // (null when none); "" when that file cannot be opened. Throws
  // ThreatsException "Error reading config file" / "Config setting not found".
  static std::string getThreatsRuleFilesStatus();

  // Rewrites the lines naming the three files into the enabled or disabled
  // list-item form that `body` asks for (a missing name means disabled); the
  // file is not written when nothing changes. Throws ThreatsException for the
  // configuration failures and when Suricata's configuration cannot be opened
  // ("Failed to open configuration file: " and the path), std::runtime_error
  // naming the file when it cannot be rewritten, and the JSON library's error
  // for a member that is no boolean.
  static void modifyRuleFilesStatus(const Json::Value& body);
};

#endif  // THREATS_THREATS_H_
