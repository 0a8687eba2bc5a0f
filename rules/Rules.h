// Suricata rules and service control: queries and edits of the rules file,
// the categories of the additional rules file, and the Suricata and ferryd
// services. Every reply carries the Rules cross-origin header set; error
// replies are plain text without a content type unless noted.
#ifndef RULES_RULES_H_
#define RULES_RULES_H_

#include "http/Frame.h"

// The route table binds these; the data operations they call are free
// functions of namespace rules (rules/RulesFile.h, rules/RuleEdits.h,
// rules/AdditionalRules.h, rules/Services.h).
class Rules {
 public:
  // ---- Query handlers --------------------------------------------------------
  // A page of rules is 200, application/json, a JSON array of rule objects.
  // Errors are 500: "File I/O error" and "Config parse error" for the
  // configuration file, otherwise the error's own text ("stoi",
  // "Invalid pagination parameters", "Unable to open rules file"...).

  // GET "/rules", query "page" (default "1") and "page_size" (default "10").
  static http::Handler HandlegetRules();
  // GET "/rules/:sid": one rule object; 404 "Rule with SID <n> not found".
  static http::Handler HandlegetRuleBySid();
  // GET "/rules/action/:action", "/rules/status/:status" ("enabled" or any
  // other text for disabled), "/rules/protocol/:proto",
  // "/rules/duplicated/:sid" and "/rules/signature/:signature" (URL-decoded),
  // each with "page" and "page_size".
  static http::Handler HandlegetRulesByAction();
  static http::Handler HandlegetRulesByStatus();
  static http::Handler HandlegetRulesByProtocol();
  static http::Handler HandlegetDuplicatedRulesBySid();
  static http::Handler HandlegetRulesBySignature();
  // GET "/rules/search", optional "action", "protocol", "status"; "page"
  // below 1 becomes 1 and "page_size" below 1 becomes 10. Bad numbers give
  // 500 "Invalid page parameters: ..." or "Invalid page size: ...".
  static http::Handler search_rules();

  // ---- Editing handlers (POST, JSON body) -------------------------------------
  // A body that is not exactly one JSON document (nothing after it, no
  // byte-order mark before it) is 400 "Invalid JSON"; a missing or blank rule
  // text is 400 "Missing rule content", and a text to be written into the
  // file (added, or either text of an update) that holds a line feed or a
  // carriage return is 400 "Rule content must be a single line" (for add, as
  // the validation object); neither changes anything. Success and not-found
  // replies are below.

  // "/rules/toggle/", {"content"}: 200 "Rule status toggled successfully",
  // also when nothing matched; errors as for the queries. Toggle, delete and
  // update answer 409 "Rule text is a part of a rule written over several
  // lines: send the whole rule" for a text naming only a part of one.
  static http::Handler toggle_rule();
  // "/rules/add/", {"content"}: 200 "Rule added successfully"; 400 with the
  // validation object when the text is no whole rule that RuleItem::readable
  // accepts ("Rule must have a numeric sid and rev", checked before the test
  // run) or when the test run rejects it; 409 "SID already in use" or
  // "Rule already exists"; 500 with the error's text (the test run's time
  // limit included).
  static http::Handler add_rule();
  // "/rules/validate/" and "/validate_rule_endpoint", {"content"}: the
  // validation object {"error", "success"} as styled JSON text, 200 when the
  // rule passed, 400 when not (or for a bad body), 500 for other errors.
  static http::Handler handleValidateRuleRequest();
  // "/rules/delete/", {"content"}: 200 "Rule deleted successfully" or 404
  // "Rule not found"; 500 with the error's text.
  static http::Handler handleDeleteRuleRequest();
  // "/rules/update/", {"rule": {"content"}, "new_rule": {"content"}}: 200
  // "Rule updated successfully" or 404 "Old rule not found"; 400 "Rule must
  // have a numeric sid and rev" when the updated line would be no rule that
  // RuleItem::readable accepts; 409 "SID already in use" when the updated
  // line takes a sid that another rule carries. A trailing carriage return
  // on either text (a listed rule of a CRLF file) is its line's end. No test run. 500 with the
  // error's text.
  static http::Handler handleUpdateRuleRequest();

  // ---- Suppressions and thresholds (Suricata's threshold file) -------------------
  // While "application.settings.threshold_file" is absent every route answers
  // 500 "Threshold file not configured" (for the edits, as the outcome object).

  // GET "/suppressions/": 200, application/json, the entries of the file in
  // order (rules/ThresholdJson.h), with their number in X-Total-Count; 500
  // with the error's text (configuration errors as for the rule queries).
  static http::Handler handleGetSuppressions();
  // POST "/suppressions/add/", the entry as JSON ({"sig_id", "gen_id",
  // "track", "ip"} or "kind" with its options): the outcome object
  // {"error", "success"} as styled text, no content type; 200 when the
  // entry was written, 400 with the reason for a body that is not JSON or
  // describes no writable entry, or with the test run's output when Suricata
  // rejects the file with it; 409 when an enabled entry acts the same; 500
  // for other errors (a test run past its limit included).
  static http::Handler handleAddSuppression();
  // POST "/suppressions/delete/", {"line": N, "content": "..."}: the outcome
  // object; 200 when the line was removed, 409 when line N no longer holds
  // that entry, 400 for a bad body, 500 for other errors.
  static http::Handler handleDeleteSuppression();

  // ---- Additional rule categories ---------------------------------------------

  // GET "/rules/additional/status/": 200 with getAdditionalRuleStatus()'s text.
  static http::Handler handleGetAdditionalRulesStatus();
  // POST "/rules/additional/update/", boolean members "universal",
  // "fakenews", "porno", "gambling", "social" (missing means false): 200
  // "Rules successfully updated", 500 "Error updating rules" when the
  // configuration or the file cannot be read, 500 with the write failure's
  // text (naming the file) when it cannot be replaced, 400
  // "Invalid JSON" for a body that is not exactly one JSON object (nothing
  // after it, no byte-order mark before it), 500 with the JSON library's text
  // for a flag of the wrong type.
  static http::Handler handleUpdateAdditionalRulesFile();

  // ---- Service control (GET, plain-text replies) ---------------------------------

  // "/suricata/reload/", "/suricata/start/", "/suricata/stop/",
  // "/suricata/update/", "/daemon/start/", "/daemon/stop/": 200 with the
  // handler's text, 500 with its prefix and the error's text (a command past
  // its time limit included: the text names the command and the limit). The
  // update's prefix is "Cannot update Suricata rules: " for a failed run and
  // "Cannot update Suricata: " for any other error.
  static http::Handler handlereloadSuricata();
  static http::Handler handlestartSuricata();
  static http::Handler handlestopSuricata();
  static http::Handler handleupdateSuricataRules();
  static http::Handler handlestartDaemon();
  static http::Handler handlestopDaemon();
  // "/rules/reload/blocking" and "/rules/reload/nonblocking": suricatasc's
  // exit status 0 gives 200, anything else 500 "Error reloading rules"; 500
  // with the time limit's text when it runs past it.
  static http::Handler reloadRulesBlocking();
  static http::Handler reloadRulesNonBlocking();
};

#endif  // RULES_RULES_H_
