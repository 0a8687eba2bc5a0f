// The switches of the three generated rule files ("ioc_domain.rules",
// "ioc_ip.rules", "ioc_url.rules"): their list-item lines in Suricata's
// configuration file ("application.settings.suricata_conf"), read and rewritten.
#ifndef THREATS_RULEFILESWITCHES_H_
#define THREATS_RULEFILESWITCHES_H_

#include <json/value.h>

#include <string>

#include "threats/ThreatsException.h"

namespace threats {

// The three names → enabled, for the names that Suricata's configuration
// mentions, as JSON text (null when none); "" when that file cannot be
// opened. Throws ThreatsException "Error reading config file" / "Config
// setting not found".
std::string getThreatsRuleFilesStatus();

// Rewrites the lines naming the three files into the enabled or disabled
// list-item form that `body` asks for (a missing name means disabled); the
// file is not written when nothing changes. Throws ThreatsException for the
// configuration failures and when Suricata's configuration cannot be opened
// ("Failed to open configuration file: " and the path), std::runtime_error
// naming the file when it cannot be rewritten, and the JSON library's error
// for a member that is no boolean.
void modifyRuleFilesStatus(const Json::Value& body);

}  // namespace threats

#endif  // THREATS_RULEFILESWITCHES_H_
