// The command line of svcdesk-server.
#pragma once
#include <string>
#include <vector>

#include "server/server.h"

namespace srv {

// Fills o from argv. False with a message in error on a bad option; help is
// set when --help was given.
bool ParseOptions(const std::vector<std::string>& args, ServerOptions& o, bool& help, bool& verbose,
                  std::string& error);
std::string HelpText();

}  // namespace srv
