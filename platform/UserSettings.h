// Settings a user chooses for themselves (the editor's zoom), kept in an INI
// file in the user's configuration folder: Linux $XDG_CONFIG_HOME, else
// ~/.config; Windows %APPDATA%. Read with ReadProfileString
// (platform/ProfileSettings.h).
//
// Threads: any; the file is read and written whole on each call.
#pragma once

#include <string>

// <configuration folder>/<folder>/<file>, with the platform's separator;
// empty when no configuration folder is known.
std::string UserSettingsPath(const char* folder, const char* file);

// Sets key=value in section of the INI file at path, keeping its other
// lines, and makes the file's folder when missing. False when the file
// cannot be written.
bool WriteProfileValue(const char* section, const char* key, const char* value, const char* path);
