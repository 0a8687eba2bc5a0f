// The two optional keys that turn the port to HTTPS, read and checked in one
// place for the start of the server and for --check-config.
#ifndef COMMON_TLSSETTINGS_H_
#define COMMON_TLSSETTINGS_H_

#include <libconfig.h++>
#include <string>

namespace config {

// What "tls_certificate_file" and "tls_key_file" say.
struct TlsSettings {
  // True when both keys hold a string: the port speaks HTTPS only. False
  // with neither key (plain HTTP) and whenever `problem` is set.
  bool enabled = false;
  std::string certificateFile;
  std::string keyFile;
  // Why the keys cannot be used, "" when they can: `problemKey` names the
  // dotted key. A server whose keys have a problem does not start.
  std::string problemKey;
  std::string problem;
};

// Reads both keys from `cfg`. Each must be a string; one without the other
// is a problem (the server cannot serve half of HTTPS, and must not fall back
// to plain HTTP on a slip). Never throws.
TlsSettings tlsSettings(const libconfig::Config& cfg);

}  // namespace config

#endif  // COMMON_TLSSETTINGS_H_
