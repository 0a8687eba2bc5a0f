// Whole-file reads and per-file edit locks of the rule operations.
#include "rules/RuleFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "rules/RulesException.h"

namespace rule_files {

std::optional<std::string> readIfOpenable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw RulesException("Unable to read " + path);
  return std::move(content).str();
}

std::string readExistingOrEmpty(const std::string& path) {
  std::optional<std::string> content = readIfOpenable(path);
  if (content) return *std::move(content);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 && errno == ENOENT) return std::string();
  throw RulesException("Unable to open rules file");
}

std::unique_lock<std::mutex> lockForEdit(const std::string& path) {
  static std::mutex registryMutex;
  static std::map<std::string, std::unique_ptr<std::mutex>> locks;
  std::mutex* lock = nullptr;
  {
    std::lock_guard<std::mutex> guard(registryMutex);
    std::unique_ptr<std::mutex>& slot = locks[path];
    if (!slot) slot = std::make_unique<std::mutex>();
    lock = slot.get();
  }
  return std::unique_lock<std::mutex>(*lock);
}

}  // namespace rule_files
