#pragma once
// Where ZEPHYRIM.INI lives. The editor and the viewer share the file, so both find
// it the same way; each shows its own message when no place can be found.
#include <functional>
#include <optional>
#include <string>

#include "common/notify.h"

namespace zephyrim {

inline constexpr const char* kIniFileName = "ZEPHYRIM.INI";
// The section of the keys every program of the package reads.
inline constexpr const char* kProductSection = "Zephyrim";
inline constexpr const char* kCannotWriteIni = "Cannot write to ZEPHYRIM.INI configuration file";

// Reads an environment variable; absent when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const char*)>;

// The process environment as an EnvLookup.
EnvLookup process_environment();

// The path of ZEPHYRIM.INI: "<program_dir>/ZEPHYRIM.INI" when that file exists, else
// "$XDG_CONFIG_HOME/zephyrim/ZEPHYRIM.INI", else "$HOME/.config/zephyrim/ZEPHYRIM.INI".
// An empty or relative XDG_CONFIG_HOME is ignored, as the base-directory rules ask.
// Absent when none applies; nothing is shown.
std::optional<std::string> find_config_file(const std::string& program_dir, const EnvLookup& getenv_fn);

// The folder that holds a data file of the programs (default.sym,
// STATSDEFAULT.TXT): the program's own when the file is there, else the
// installed ../share/zephyrim beside it when the file is there, else the
// program's own.
std::string program_data_folder(const std::string& program_dir, const std::string& file);

// find_config_file; when none applies, shows kCannotWriteIni and returns "".
std::string config_location(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify);
// The same with the process environment.
std::string config_location(const std::string& program_dir, Notify& notify);

}  // namespace zephyrim
