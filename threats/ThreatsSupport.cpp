// Configuration reads, reading of stored JSON documents, and the store lock.
#include "threats/ThreatsSupport.h"

#include <fstream>
#include <istream>
#include <iterator>
#include <memory>

#include <json/reader.h>
#include <libconfig.h++>

#include "common/Configuration.h"
#include "common/Log.h"
#include "threats/ThreatsException.h"

namespace threats_support {

std::vector<std::string> readSettings(std::initializer_list<const char*> keys,
                                      const char* readErrorText, const char* notFoundLog) {
  libconfig::Config cfg;
  try {
    config::load(cfg);
  } catch (const libconfig::ParseException& e) {
    logging::alert("Error reading config file:%s", e.what());
    throw ThreatsException(readErrorText);
  } catch (const libconfig::FileIOException& e) {
    logging::alert("Error reading config file:%s", e.what());
    throw ThreatsException(readErrorText);
  }
  std::vector<std::string> values;
  values.reserve(keys.size());
  try {
    for (const char* key : keys) values.push_back(config::getString(cfg, key));
  } catch (const libconfig::SettingException& e) {
    logging::alert(notFoundLog, e.getPath());
    throw ThreatsException("Config setting not found");
  }
  return values;
}

bool parseJson(std::istream& in, Json::Value& root, std::string& error) {
  static const Json::CharReaderBuilder kBuilder;
  const std::unique_ptr<Json::CharReader> reader(kBuilder.newCharReader());
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &error);
  } catch (const Json::Exception& e) {  // nesting past the reader's depth limit
    error = e.what();
    return false;
  }
}

Json::Value readStore(const std::string& path, const char* openLog) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    logging::alert(openLog, path.c_str());
    throw ThreatsException("Unable to open IOC file");
  }
  Json::Value store;
  std::string error;
  if (!parseJson(in, store, error)) throw ThreatsException(error);
  if (!store.isNull() && !store.isArray()) {
    throw ThreatsException("The IOC file holds no list of indicators: " + path);
  }
  return store;
}

std::mutex& storeMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace threats_support
