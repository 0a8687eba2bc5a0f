// Reading of Suricata's fast.log for GET "/events/fast".
#include "events/FastLog.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/Configuration.h"

namespace events {

namespace {

// Whole content of the file at `path`. Throws std::runtime_error "Failed to
// open log file: PATH" or, when reading fails (a directory, an I/O error),
// "Failed to read log file: PATH".
std::string readFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw std::runtime_error("Failed to open log file: " + path);
  std::string content;
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, got);
  if (std::ferror(file.get())) throw std::runtime_error("Failed to read log file: " + path);
  return content;
}

}  // namespace

std::string reverseLines(const std::string& text) {
  std::string reversed;
  reversed.reserve(text.size() + 1);
  size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;  // the last line's own line feed
  if (text.empty()) return reversed;
  while (true) {
    const size_t feed = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const size_t begin = feed == std::string::npos ? 0 : feed + 1;
    reversed.append(text, begin, end - begin);
    reversed += '\n';
    if (feed == std::string::npos) break;
    end = feed;
  }
  return reversed;
}

std::string readFastLog() {
  std::string path;
  try {
    path = config::readString(config::kFastFile);
  } catch (const libconfig::FileIOException&) {
    throw std::runtime_error("Failed to read configuration file: File I/O error.");
  } catch (const libconfig::ParseException& e) {
    throw std::runtime_error("Failed to parse configuration file at line " +
                             std::to_string(e.getLine()) + ": " + e.getError());
  } catch (const libconfig::SettingNotFoundException&) {
    throw std::runtime_error("Missing 'application.settings.fast_file' in configuration.");
  }
  return reverseLines(readFile(path));
}

}  // namespace events
