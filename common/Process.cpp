// Running outside commands through the shell.
#include "common/Process.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace process {

int run(const std::string& command) { return std::system(command.c_str()); }

bool succeeds(const std::string& command) { return run(command) == 0; }

std::string exec(const std::string& command) {
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("popen() failed!");
  std::array<char, 128> buffer;
  std::string output;
  size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size() - 1, pipe.get())) > 0) {
    output.append(buffer.data(), read);
  }
  return output;
}

}  // namespace process
