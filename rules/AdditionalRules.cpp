// The five categories of DNS blocking rules in the additional rules file:
// their status, and switching whole categories on or off.
#include "rules/AdditionalRules.h"

#include <string_view>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/JsonText.h"
#include "common/Log.h"
#include "rules/BlockingStatus.h"
#include "rules/RuleFiles.h"
#include "rules/RuleText.h"

namespace {

// A line belongs to a category when it contains the category's phrase.
struct Category {
  std::string_view phrase;
  const char* title;
  bool RuleUpdateData::*wanted;
};

constexpr Category kSocial{"social media", "social", &RuleUpdateData::social};
constexpr Category kPorno{"porn media", "porno", &RuleUpdateData::porno};
constexpr Category kFakenews{"fakenews media", "fakenews", &RuleUpdateData::fakenews};
constexpr Category kGambling{"gambling media", "gambling", &RuleUpdateData::gambling};
constexpr Category kUniversal{"universal media", "universal", &RuleUpdateData::universal};

// The status and the update test the phrases in different orders; this only
// matters for a line that names two categories.
constexpr Category kStatusOrder[] = {kSocial, kPorno, kFakenews, kGambling, kUniversal};
constexpr Category kUpdateOrder[] = {kSocial, kFakenews, kPorno, kGambling, kUniversal};

template <size_t N>
const Category* categoryOf(std::string_view line, const Category (&order)[N]) {
  for (const Category& category : order) {
    if (line.find(category.phrase) != std::string_view::npos) return &category;
  }
  return nullptr;
}

bool isDisabled(std::string_view line) { return !line.empty() && line[0] == '#'; }

}  // namespace

namespace rules {

Json::Value additionalRuleStatusOf(const std::string& text) {
  Json::Value statuses;  // stays null when no line is counted
  rule_files::forEachLine(text, [&](std::string_view line) {
    if (line.find("drop dns") == std::string_view::npos) return;
    const Category* category = categoryOf(line, kStatusOrder);
    const BlockingStatus status{category ? category->title : "", !isDisabled(line)};
    Json::Value& entry = statuses.append(Json::Value(Json::objectValue));
    entry["title"] = status.title;
    entry["status"] = status.status;
  });
  return statuses;
}

std::string categoriesApplied(const std::string& text, const RuleUpdateData& data) {
  std::string result;
  result.reserve(text.size() + 64);
  rule_files::forEachLine(text, [&](std::string_view line) {
    const Category* category = categoryOf(line, kUpdateOrder);
    if (category && data.*(category->wanted) == isDisabled(line)) {
      result.append(toggleComment(std::string(line)));
    } else {
      result.append(line);
    }
    result.push_back('\n');
  });
  return result;
}

std::string getAdditionalRuleStatus() {
  try {
    const std::string path = config::readString(config::kAdditionalRules);
    const std::string text = rule_files::readIfOpenable(path).value_or("");
    return json_text::write(additionalRuleStatusOf(text));
  } catch (const std::exception& e) {
    logging::alert("Unable to read the additional rules: %s", e.what());
    return "Unable to read rule file";
  }
}

bool updateAdditionalRulesFile(const RuleUpdateData& data) {
  const auto failed = [](const std::exception& e) {
    logging::alert("Error updating the additional rules: %s", e.what());
    return false;
  };
  std::string path;
  try {
    path = config::readString(config::kAdditionalRules);
  } catch (const std::exception& e) {
    return failed(e);
  }
  const auto lock = rule_files::lockForEdit(path);
  std::string text;
  try {
    text = rule_files::readExistingOrEmpty(path);
  } catch (const std::exception& e) {
    return failed(e);
  }
  replaceFileAtomically(path, categoriesApplied(text, data));
  return true;
}

}  // namespace rules
