#include "runtime/path.h"

#include <cstdlib>

std::string tidyDirectory(std::string_view path) {
  size_t first = path.find_first_not_of(' ');
  path = first == std::string_view::npos ? std::string_view() : path.substr(first);
  while (path.size() > 1 && (path.back() == ' ' || path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  return std::string(path);
}

std::string joinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  out.append(name);
  return out;
}

std::string expandHome(std::string_view path) {
  if (path.size() > 1 && path[0] == '~' && path[1] == '/')
    if (const char *home = std::getenv("HOME"); home && *home) return joinPath(home, path.substr(2));
  return std::string(path);
}

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && (path[0] == '/' || (path.size() > 1 && path[0] == '~' && path[1] == '/'));
}

std::string directoryOf(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}
