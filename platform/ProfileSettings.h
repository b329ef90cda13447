// Reading a value from an INI-style settings file, with the answers of the
// Windows profile call (GetPrivateProfileStringA) for the calls we make.
#pragma once

#include <string>

// The value of `key` in `section` of the file at `path`, or `defaultValue`
// (trailing blanks removed) when the file, section or key is missing. The
// result holds at most `maxChars` characters.
std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              int maxChars, const char* path);
