// The working folder as the program names it: the current directory with
// exactly one '/' at the end.
#pragma once
#include <string>

inline std::string WorkingDir(std::string cwd) {
  while (cwd.size() > 1 && cwd.back() == '/') cwd.pop_back();
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return cwd;
}
