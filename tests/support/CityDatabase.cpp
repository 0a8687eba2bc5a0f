// Runs make_test_mmdb.pl to write a city database for the tests.
#include "support/CityDatabase.h"

#include <cstdlib>
#include <stdexcept>

#include "support/Harness.h"

namespace harness {

void makeCityDatabase(const std::string& path, const std::string& variant) {
  const std::string folder = path.substr(0, path.rfind('/'));
  const std::string script = supportDir() + "/make_test_mmdb.pl";
  const std::string command =
      "mkdir -p '" + folder + "' && perl '" + script + "' '" + path + "' '" + variant + "'";
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("could not write the city database: " + command);
  }
}

}  // namespace harness
