#pragma once

#include <QString>
#include <optional>

#include "core/Settings.h"
#include "text/IniFile.h"

namespace quillora {

// The version written into every saved settings file.
inline constexpr const char* kSettingsDataVer = "2.1";

// First-run defaults of every key (SetDefaultSettings without its chat line). The save folders
// are the program folder followed by a separator; the first preset handle is `host_name`.
Settings DefaultSettings(const QString& program_folder, const QString& host_name);

// Reads app.ini with the version ladder into `out` (starting from `out` as given: the caller
// passes a blank `Settings{}` with empty fonts/colours, per the ladder rules). Returns false
// when the file cannot be read at all.
//
// A key that the file's version should hold but that is missing or cannot be converted takes
// its first-run default, key by key; this overload takes those defaults from
// DefaultSettings(folder of `ini_path`, this machine's host name).
bool LoadSettings(const QString& ini_path, Settings& out);
// The same with the first-run defaults given.
bool LoadSettings(const QString& ini_path, Settings& out, const Settings& defaults);
// The ladder over a file already in memory.
void ReadSettings(const IniFile& ini, Settings& out, const Settings& defaults);

// Writes every key in the settings file's order, keeping whatever else the file holds; false
// when the file could not be written. The file is replaced in one step.
bool SaveSettings(const QString& ini_path, const Settings& s);
// The same edits applied to a file in memory.
void WriteSettings(IniFile& ini, const Settings& s);

// The profile read the program has always used: the value, or `default_value` when the value is
// empty and `default_value` is not.
QString ReadIniString(const IniFile& ini, const QString& section, const QString& key,
                      const QString& default_value);

// Value conversions of the settings file.
QString BoolText(bool value);                            // "True" / "False"
QString SingleText(float value);                         // shortest decimal: 8520, 9.75
std::optional<bool> ParseBool(const QString& text);      // True/False in any case, or a number
std::optional<double> ParseNumber(const QString& text);  // decimal (or &H hex); finite only
// The leading number of a version text ("2.1" -> 2.1, "abc" -> 0).
double LeadingNumber(const QString& text);

}  // namespace quillora
