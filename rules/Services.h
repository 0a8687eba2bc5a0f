// Control of the Suricata and ferryd services through fixed commands;
// none takes request data.
#ifndef RULES_SERVICES_H_
#define RULES_SERVICES_H_

#include "rules/RulesException.h"

namespace rules {

// Each throws RulesException with its failure text when a command exits
// with a status other than 0, process::TimeLimitExceeded when one runs past
// its limit, and logs its success line.

void reloadSuricata();       // "systemctl restart suricata"
void stopSuricata();         // "systemctl stop suricata"
void startSuricata();        // refuses when active, else "systemctl start suricata"
void updateSuricataRules();  // "sudo suricata-update"
void startDaemon();          // refuses when ferryd is active, else starts it
void stopDaemon();           // "systemctl stop ferryd"

}  // namespace rules

#endif  // RULES_SERVICES_H_
