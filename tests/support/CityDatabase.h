// Small city databases in the MaxMind DB format for the geolocation tests,
// written by make_test_mmdb.pl beside this file.
#ifndef TESTS_SUPPORT_CITYDATABASE_H_
#define TESTS_SUPPORT_CITYDATABASE_H_

#include <string>

namespace harness {

// Writes the database `variant` ("test" or "alt", see make_test_mmdb.pl) to
// `path`, replacing any file there in one rename. Throws std::runtime_error
// when the script fails.
void makeCityDatabase(const std::string& path, const std::string& variant = "test");

}  // namespace harness

#endif  // TESTS_SUPPORT_CITYDATABASE_H_
