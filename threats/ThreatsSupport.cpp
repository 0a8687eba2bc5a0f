// Configuration reads, reading of stored JSON documents, and the store lock.
#include "threats/ThreatsSupport.h"

#include <json/reader.h>

#include <libconfig.h++>
#include <memory>

#include "common/Configuration.h"
#include "common/Log.h"
#include "threats/StoreSnapshot.h"
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

bool parseJson(std::string_view text, Json::Value& root, std::string& error) {
  static const Json::CharReaderBuilder kBuilder;
  const std::unique_ptr<Json::CharReader> reader(kBuilder.newCharReader());
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &error);
  } catch (const Json::Exception& e) {  // nesting past the reader's depth limit
    error = e.what();
    return false;
  }
}

std::shared_ptr<const threats::StoreSnapshot> readStore(const std::string& path,
                                                        const char* openLog) {
  std::shared_ptr<const threats::StoreSnapshot> store;
  try {
    store = threats::storeSnapshot(path);
  } catch (const file_cache::OpenError&) {
    logging::alert(openLog, path.c_str());
    throw ThreatsException("Unable to open IOC file");
  } catch (const file_cache::ReadError& e) {
    throw ThreatsException(e.what());
  }
  if (store->simple()) return store;
  if (!store->error().empty()) throw ThreatsException(store->error());
  if (store->notAList())
    throw ThreatsException("The IOC file holds no list of indicators: " + path);
  return store;
}

std::mutex& storeMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace threats_support
