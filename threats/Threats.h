// The threat-intelligence routes: the feed of indicators of compromise is
// downloaded and unpacked, filtered into the local indicator store, listed and
// switched on and off, turned into Suricata rule files, and those files are
// switched in Suricata's configuration. Every reply carries the Threats
// cross-origin set: origin "*", methods "GET, POST, PUT, DELETE, OPTIONS" and
// headers "Origin, X-Requested-With, Content-Type, Accept, Authorization".
#ifndef THREATS_THREATS_H_
#define THREATS_THREATS_H_

#include "http/Frame.h"

class Threats {
 public:
  // ---- Feed ------------------------------------------------------------------------
  // The download, the store rebuild and the rule generation below each wait
  // while the scheduled refresh of threats/FeedRefresh.h runs
  // (threats/FeedWork.h).

  // GET "/ioc/download/": 200 "ZIP downloading and unzipping"; 409 "A download
  // is already running" while another one runs; 500 with the failure's text ("Error downloading
  // file", "Error in unzipFile", or the configuration library's text). Plain text.
  static http::Handler handleDownloadRequest();
  // GET "/ioc/filter/:n_days": rebuilds the store. `n_days` must be plain
  // decimal digits of at most threats::kMaxDays (2147483647); the store is not touched
  // otherwise. 200 "Threats processed successfully"; 400 "Invalid number of
  // days" for a segment that is a number in another form (sign, hexadecimal,
  // exponent, trailing characters, too large); 500 "Bad lexical cast" for a
  // segment that does not begin with a number, "Error processing data" when
  // the configuration or the feed fails, the write failure's text (naming the
  // store) when the store cannot be replaced, "Internal server error" for any
  // other failure. Plain text.
  static http::Handler getRecentThreats();

  // ---- Store listing and switch -------------------------------------------------------

  // GET "/ioc/", "/ioc/ioc_id/:id", "/ioc/ioc_type/:ioc_type",
  // "/ioc/ioc_status/:status", query "page" (default 1) and "page_size"
  // (default 10): 200 application/json, the styled array of the page's records
  // ("null" when the page is empty); 400 "Invalid 'page' parameter" or
  // "Invalid 'page_size' parameter"; 500 with the failure's text.
  static http::Handler handleGetThreats();
  static http::Handler handleFindThreatsById();
  static http::Handler handleFindThreatsByIocType();
  static http::Handler handleFindThreatsByStatus();
  // POST "/ioc/toggle/", body {"content": uid as text or number}: a styled
  // {"message", "status"} object without content type. 400 "Invalid JSON
  // format" for a body that is not exactly one JSON document, "Content ID is
  // missing"; 500 with the failure's text; 200 "Threat status was changed.".
  static http::Handler handleToggleThreatStatus();

  // ---- Rule generation and rule-file switches --------------------------------------

  // GET "/ioc/fetch/": 200 "Action was success!"; 400 with the failure's text.
  static http::Handler handleFetchIocs();
  // GET "/ioc/rules/status/": 200 with the status text (empty when Suricata's
  // configuration cannot be opened); 500 with the failure's text.
  static http::Handler handlegetThreatsRuleFilesStatus();
  // POST "/ioc/rules/modify/", body {"ioc_domain.rules": bool, ...}: 400
  // "Invalid JSON" for a body that is not exactly one JSON object (nothing
  // after it, no byte-order mark before it); 200 "Suricata config
  // modyfied."; 500 with the failure's text.
  static http::Handler handlemodifyRuleFilesStatus();
};

#endif  // THREATS_THREATS_H_
