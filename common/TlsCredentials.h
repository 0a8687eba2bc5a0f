// The certificate and private key the endpoint serves HTTPS with: the two PEM
// files that "tls_certificate_file" and "tls_key_file" name, loaded and
// checked once at start (a restart takes new files).
#ifndef COMMON_TLSCREDENTIALS_H_
#define COMMON_TLSCREDENTIALS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tls {

// Why the TLS settings or files cannot be used. what() is the line for the
// log ("TLS key file /etc/pavora/tls.key: No such file or directory"); key()
// names the configuration key it belongs to and detail() says what is wrong
// without repeating it ("/etc/pavora/tls.key: No such file or directory"),
// for --check-config.
class Error : public std::runtime_error {
 public:
  Error(std::string key, std::string detail, const std::string& message)
      : std::runtime_error(message), key_(std::move(key)), detail_(std::move(detail)) {}
  const std::string& key() const { return key_; }
  const std::string& detail() const { return detail_; }

 private:
  std::string key_;
  std::string detail_;
};

// The two files' texts as the endpoint takes them (PEM, NUL-terminated by
// c_str()). The endpoint keeps the object alive while it serves.
struct Credentials {
  std::string
      certificatePem;  // the whole certificate file: the certificate, then any intermediates
  std::string keyPem;  // the whole key file: the unencrypted private key
  // What is worth a warning but does not stop the server: a certificate
  // outside its validity period (browsers refuse it), a key file everyone
  // may read.
  std::vector<std::string> warnings;
};

// Largest certificate or key file read: a certificate chain is a few KiB.
inline constexpr size_t kMaxPemFileBytes = 1024 * 1024;

// Reads both files (following symbolic links: they are only read) and checks
// that the certificate file holds a certificate and every certificate in it
// parses, that the key file holds a private key without a passphrase, and
// that the key belongs to the first certificate. Throws tls::Error:
// "TLS certificate file <path>: <cause>" or "TLS key file <path>: <cause>"
// for a file that cannot be read, is no regular file, is longer than
// kMaxPemFileBytes or does not parse, and "TLS key does not match the
// certificate (key file <k>, certificate file <c>)". key() is
// "application.settings.tls_certificate_file" for the certificate's
// problems and "application.settings.tls_key_file" for the others.
Credentials load(const std::string& certificateFile, const std::string& keyFile);

// What the server serves with, read from the configuration file at start:
// nothing with neither key (plain HTTP), the credentials with both. Throws
// tls::Error naming the key for one key without the other or one that is no
// string ("application.settings.tls_key_file: missing: ..."), and as load()
// does for unusable files: the server then must not start. Logs each warning,
// and which certificate is served. A configuration file that cannot be used
// at start gives nothing, with an alert saying that the port serves plain
// HTTP until the next start: the server cannot tell whether HTTPS was meant
// (access control meanwhile refuses all but OPTIONS and /health).
std::optional<Credentials> loadAtStart();

}  // namespace tls

#endif  // COMMON_TLSCREDENTIALS_H_
