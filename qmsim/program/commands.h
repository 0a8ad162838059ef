// The qmsim program's commands, one row each: name, usage and handler.
#pragma once

#include <string>
#include <vector>

namespace qmsim::program {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const Args& args);  // returns the exit code
};

const std::vector<Command>& commands();

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

}  // namespace qmsim::program
