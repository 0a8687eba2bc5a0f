// Suricata rules and service control: queries and edits of the rules file,
// the categories of the additional rules file, and the Suricata and ferryd
// services. Every reply carries the Rules cross-origin header set; error
// replies are plain text without a content type unless noted.
#ifndef RULES_RULES_H_
#define RULES_RULES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

#include "rules/RuleItem.h"
#include "rules/RuleUpdateData.h"
#include "rules/RulesException.h"

// Optional filters of the rule search; an absent one does not filter.
struct RuleSearch {
  std::optional<std::string> action;    // `action` equals it
  std::optional<std::string> protocol;  // `protocol` equals it
  std::optional<std::string> status;    // "enabled": enabled rules; any other text: disabled
};

class Rules {
 public:
  // Adds the Rules header set; the first step of every Rules handler.
  static void addCORSHeaders(Pistache::Http::ResponseWriter& response);

  // ---- Query handlers --------------------------------------------------------
  // A page of rules is 200, application/json, a JSON array of rule objects.
  // Errors are 500: "File I/O error" and "Config parse error" for the
  // configuration file, otherwise the error's own text ("stoi",
  // "Invalid pagination parameters", "Unable to open rules file"...).

  // GET "/rules", query "page" (default "1") and "page_size" (default "10").
  static void HandlegetRules(const Pistache::Rest::Request& request,
                             Pistache::Http::ResponseWriter response);
  // GET "/rules/:sid": one rule object; 404 "Rule with SID <n> not found".
  static void HandlegetRuleBySid(const Pistache::Rest::Request& request,
                                 Pistache::Http::ResponseWriter response);
  // GET "/rules/action/:action", "/rules/status/:status" ("enabled" or any
  // other text for disabled), "/rules/protocol/:proto",
  // "/rules/duplicated/:sid" and "/rules/signature/:signature" (URL-decoded),
  // each with "page" and "page_size".
  static void HandlegetRulesByAction(const Pistache::Rest::Request& request,
                                     Pistache::Http::ResponseWriter response);
  static void HandlegetRulesByStatus(const Pistache::Rest::Request& request,
                                     Pistache::Http::ResponseWriter response);
  static void HandlegetRulesByProtocol(const Pistache::Rest::Request& request,
                                       Pistache::Http::ResponseWriter response);
  static void HandlegetDuplicatedRulesBySid(const Pistache::Rest::Request& request,
                                            Pistache::Http::ResponseWriter response);
  static void HandlegetRulesBySignature(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // GET "/rules/search", optional "action", "protocol", "status"; "page"
  // below 1 becomes 1 and "page_size" below 1 becomes 10. Bad numbers give
  // 500 "Invalid page parameters: ..." or "Invalid page size: ...".
  static void search_rules(const Pistache::Rest::Request& request,
                           Pistache::Http::ResponseWriter response);

  // ---- Editing handlers (POST, JSON body) -------------------------------------
  // A body that is not JSON is 400 "Invalid JSON"; a missing or blank rule
  // text is 400 "Missing rule content", and a text to be written into the
  // file (added, or the new text of an update) that holds a newline is 400
  // "Rule content must be a single line" (for add, as the validation object);
  // neither changes anything. Success and not-found replies are below.

  // "/rules/toggle/", {"content"}: 200 "Rule status toggled successfully",
  // also when nothing matched; errors as for the queries.
  static void toggle_rule(const Pistache::Rest::Request& request,
                          Pistache::Http::ResponseWriter response);
  // "/rules/add/", {"content"}: 200 "Rule added successfully"; 400 with the
  // validation object when the test run rejects it; 409 "SID already in use"
  // or "Rule already exists"; 500 with the error's text.
  static void add_rule(const Pistache::Rest::Request& request,
                       Pistache::Http::ResponseWriter response);
  // "/rules/validate/" and "/validate_rule_endpoint", {"content"}: the
  // validation object {"error", "success"} as styled JSON text, 200 when the
  // rule passed, 400 when not (or for a bad body), 500 for other errors.
  static void handleValidateRuleRequest(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // "/rules/delete/", {"content"}: 200 "Rule deleted successfully" or 404
  // "Rule not found"; 500 with the error's text.
  static void handleDeleteRuleRequest(const Pistache::Rest::Request& request,
                                      Pistache::Http::ResponseWriter response);
  // "/rules/update/", {"rule": {"content"}, "new_rule": {"content"}}: 200
  // "Rule updated successfully" or 404 "Old rule not found"; 500 with the
  // error's text.
  static void handleUpdateRuleRequest(const Pistache::Rest::Request& request,
                                      Pistache::Http::ResponseWriter response);

  // ---- Additional rule categories ---------------------------------------------

  // GET "/rules/additional/status/": 200 with getAdditionalRuleStatus()'s text.
  static void handleGetAdditionalRulesStatus(const Pistache::Rest::Request& request,
                                             Pistache::Http::ResponseWriter response);
  // POST "/rules/additional/update/", boolean members "universal",
  // "fakenews", "porno", "gambling", "social" (missing means false): 200
  // "Rules successfully updated", 500 "Error updating rules", 400
  // "Invalid JSON", 500 with the JSON library's text for a flag of the wrong type.
  static void handleUpdateAdditionalRulesFile(const Pistache::Rest::Request& request,
                                              Pistache::Http::ResponseWriter response);

  // ---- Service control (GET, plain-text replies) ---------------------------------

  // "/suricata/reload/", "/suricata/start/", "/suricata/stop/",
  // "/suricata/update/", "/daemon/start/", "/daemon/stop/": 200 with the
  // handler's text, 500 with its prefix and the error's text.
  static void handlereloadSuricata(const Pistache::Rest::Request& request,
                                   Pistache::Http::ResponseWriter response);
  static void handlestartSuricata(const Pistache::Rest::Request& request,
                                  Pistache::Http::ResponseWriter response);
  static void handlestopSuricata(const Pistache::Rest::Request& request,
                                 Pistache::Http::ResponseWriter response);
  static void handleupdateSuricataRules(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  static void handlestartDaemon(const Pistache::Rest::Request& request,
                                Pistache::Http::ResponseWriter response);
  static void handlestopDaemon(const Pistache::Rest::Request& request,
                               Pistache::Http::ResponseWriter response);
  // "/rules/reload/blocking" and "/rules/reload/nonblocking": suricatasc's
  // exit status 0 gives 200, anything else 500 "Error reloading rules".
  static void reloadRulesBlocking(const Pistache::Rest::Request& request,
                                  Pistache::Http::ResponseWriter response);
  static void reloadRulesNonBlocking(const Pistache::Rest::Request& request,
                                     Pistache::Http::ResponseWriter response);

  // ---- Queries (read the rules file at `rulesFile`; no HTTP) ---------------------
  // Each line is parsed with RuleItem::parse; matches keep file order and one
  // page is cut out of them: positions (page-1)*page_size up to page*page_size,
  // computed in 64 bits. The paged ones throw std::invalid_argument
  // "Invalid pagination parameters" when page or page_size is below 1, and
  // RulesException "Unable to open rules file".

  // Every line. A line that does not parse throws RulesException
  // "Unable to parse line <n>: <parse error>".
  static std::vector<RuleItem> getRules(const std::string& rulesFile, int page, int page_size);
  // The rule object of the first rule with `sid`, or JSON null; lines that
  // do not parse are passed over.
  static Json::Value getRuleBySid(const std::string& rulesFile, uint32_t sid);
  // Filters; a line that does not parse throws the parse error ("stoi").
  static std::vector<RuleItem> getRulesByAction(const std::string& rulesFile,
                                                const std::string& action, int page,
                                                int page_size);
  static std::vector<RuleItem> getRulesByProtocol(const std::string& rulesFile,
                                                  const std::string& protocol, int page,
                                                  int page_size);
  static std::vector<RuleItem> getRulesByStatus(const std::string& rulesFile, bool enabled,
                                                int page, int page_size);
  // `sid` read as an unsigned number with automatic base (0x hexadecimal,
  // leading 0 octal) once a line has parsed; throws std::invalid_argument or
  // std::out_of_range ("stoul") when it is not one.
  static std::vector<RuleItem> getDuplicatedRulesBySid(const std::string& rulesFile,
                                                       const std::string& sid, int page,
                                                       int page_size);
  // Rules whose `content` contains `signature`.
  static std::vector<RuleItem> getRulesBySignature(const std::string& rulesFile,
                                                   const std::string& signature, int page,
                                                   int page_size);
  // Rules matching every present filter; page and page_size must be at least 1.
  static std::vector<RuleItem> searchRules(const std::string& rulesFile,
                                           const RuleSearch& filter, int page, int page_size);

  // ---- Edits of the rules file ------------------------------------------------
  // Edits of one file are serialised within the process, and a changed file
  // is replaced atomically (same mode and owner): a failure leaves the old
  // content and throws std::runtime_error naming the file.

  // Switches every line matching `rule` (see toggledText). Returns whether
  // any line matched; the file is only rewritten then. Throws RulesException
  // "Unable to open rules file".
  static bool toggleRule(const std::string& rulesFile, const std::string& rule);

  enum class AddResult { kAdded, kSidInUse, kAlreadyExists };
  // Adds `rule` (already validated) as the last line unless a line carries
  // its sid text or the file contains its text. A missing file is created;
  // one that exists but cannot be read throws RulesException
  // "Unable to open rules file".
  static AddResult addRule(const std::string& rulesFile, const std::string& rule);

  // Removes every line equal to `rule` once both lose a leading "#" and
  // leading white space. False when none matched (or the file cannot be read).
  static bool deleteRule(const std::string& rulesFile, const std::string& rule);

  // Replaces the first occurrence of `oldRule` anywhere in the file by
  // `newRule` (see updatedText). False when there is none (or the file cannot
  // be read).
  static bool updateRule(const std::string& rulesFile, const std::string& oldRule,
                         const std::string& newRule);

  // Checks `rule` with Suricata's test mode ("suricata -T -c <suricata_conf>
  // -S <tmp_rule_file>") after writing it to the scratch file
  // "application.settings.tmp_rule_file". Returns (true, "") unless the
  // output holds "E: ", then (false, whole output); any error gives (false,
  // its text). Never throws. Validations are serialised.
  static std::pair<bool, std::string> validate_rule(const std::string& rule);

  // ---- Text transforms (pure; the edits above apply them to the file) ---------
  // Lines end at a newline; a last line without one still counts, and every
  // rewritten line ends with one.

  // `line` with its leading "#" removed, or with "#" put in front.
  static std::string toggleComment(const std::string& line);
  // Each line whose text after leading blanks and tabs equals `rule` after
  // its own (unless it is nothing but those) is switched, keeping the line's
  // blanks behind a new "#"; a line that after them is "#" followed by text
  // beginning with `rule` is enabled and loses them. Nothing when no line
  // matches.
  static std::optional<std::string> toggledText(const std::string& text,
                                                const std::string& rule);
  // `text` followed by `rule` and a newline, with a newline put between when
  // the last line lacks one.
  static std::string appendedText(const std::string& text, const std::string& rule);
  // `text` without the lines that deleteRule removes; nothing when none.
  static std::optional<std::string> deletedText(const std::string& text,
                                                const std::string& rule);

  // `text` with the first occurrence of `oldRule`, at any position, replaced
  // by `newRule`; nothing when `oldRule` does not occur or holds a newline.
  static std::optional<std::string> updatedText(const std::string& text,
                                                const std::string& oldRule,
                                                const std::string& newRule);

  // ---- Additional rules file ("application.settings.additional_rules") ---------

  // The status array as JSON text ("null" when no "drop dns" line exists,
  // also for a missing file), or "Unable to read rule file" on any error.
  static std::string getAdditionalRuleStatus();
  // Switches the category lines to the wanted state and rewrites the file
  // (created when missing). False on any error, the file then unchanged.
  static bool updateAdditionalRulesFile(const RuleUpdateData& data);
  // Pure parts of the two above.
  static Json::Value additionalRuleStatusOf(const std::string& text);
  static std::string categoriesApplied(const std::string& text, const RuleUpdateData& data);

  // ---- Services (fixed shell commands; none takes request data) -----------------
  // Each throws RulesException with its failure text when a command exits
  // with a status other than 0, and logs its success line.

  static void reloadSuricata();       // "systemctl restart suricata"
  static void stopSuricata();         // "systemctl stop suricata"
  static void startSuricata();        // refuses when active, else "systemctl start suricata"
  static void updateSuricataRules();  // "sudo suricata-update"
  static void startDaemon();          // refuses when ferryd is active, else starts it
  static void stopDaemon();           // "systemctl stop ferryd"

  // Standard output of `command` run through the shell; its exit status is
  // not looked at. Throws std::runtime_error "popen() failed!" when the
  // command cannot be started.
  static std::string exec(const char* command);
};

#endif  // RULES_RULES_H_
