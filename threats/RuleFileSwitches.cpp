// The switches of the three generated rule files: their list-item lines in
// Suricata's configuration file, read and rewritten.
#include "threats/RuleFileSwitches.h"

#include <fstream>
#include <mutex>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/JsonText.h"
#include "common/Log.h"
#include "threats/ThreatsSupport.h"

namespace {

// The generated files as Suricata's configuration names them, in the order
// in which a line is tested for them.
constexpr const char* kRuleFileNames[] = {"ioc_domain.rules", "ioc_url.rules", "ioc_ip.rules"};

constexpr char kEnabledForm[] = "  - ";
constexpr char kDisabledForm[] = "#  - ";

// Two rewrites at the same time would lose one of them.
std::mutex& suricataConfMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string suricataConfPath() { return threats_support::readSettings({config::kSuricataConf})[0]; }

// Applies the wanted state to one line; true when the line was replaced.
bool switchLine(std::string& line, const Json::Value& body) {
  for (const char* name : kRuleFileNames) {
    if (line.find(name) == std::string::npos) continue;
    const bool wanted = body[name].asBool();
    const bool commented = !line.empty() && line[0] == '#';
    if (wanted && commented) {
      line = std::string(kEnabledForm) + name;
      return true;
    }
    if (!wanted && !commented) {
      line = std::string(kDisabledForm) + name;
      return true;
    }
  }
  return false;
}

}  // namespace

namespace threats {

std::string getThreatsRuleFilesStatus() {
  const std::string path = suricataConfPath();
  std::ifstream in(path);
  if (!in.is_open()) {
    logging::alert("Failed to open configuration file: %s", path.c_str());
    return "";
  }
  Json::Value status;
  std::string line;
  while (std::getline(in, line)) {
    for (const char* name : kRuleFileNames) {
      if (line.find(name) == std::string::npos) continue;
      status[name] = line.find('#') == std::string::npos;
      break;
    }
  }
  return json_text::write(status);
}

void modifyRuleFilesStatus(const Json::Value& body) {
  const std::string path = suricataConfPath();
  const std::lock_guard<std::mutex> lock(suricataConfMutex());
  std::ifstream in(path);
  if (!in.is_open()) {
    logging::alert("Failed to open configuration file: %s", path.c_str());
    throw ThreatsException("Failed to open configuration file: " + path);
  }
  std::string content;
  bool changed = false;
  std::string line;
  while (std::getline(in, line)) {
    changed = switchLine(line, body) || changed;
    content += line;
    content += '\n';
  }
  if (in.bad()) throw ThreatsException("Failed to read configuration file: " + path);
  if (!changed) return;
  replaceFileAtomically(path, content);
}

}  // namespace threats
