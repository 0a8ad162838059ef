// File paths, one rule each: how a directory given by the user is tidied, how a name is
// joined to a directory, and how ~/ is read.
#pragma once
#include <string>
#include <string_view>

// Leading blanks and trailing blanks and separators removed ("/" stays "/"); a trailing
// backslash counts as a separator, as in paths carried over from Windows set-ups.
std::string tidyDirectory(std::string_view path);
// `dir` + "/" + `name`; just `name` when `dir` is empty.
std::string joinPath(std::string_view dir, std::string_view name);
// "~/x" becomes "$HOME/x"; anything else is returned as it is.
std::string expandHome(std::string_view path);
// An absolute path, or one starting with ~/.
bool isAbsolutePath(std::string_view path);
// The directory part of a path ("" when it has none).
std::string directoryOf(std::string_view path);
