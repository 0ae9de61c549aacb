#include "common/config_location.h"

#include <cstdlib>

#include "common/file_io.h"

namespace zephyrim {
namespace {

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace

std::string program_data_folder(const std::string& program_dir, const std::string& file) {
  if (file_exists(join_path(program_dir, file))) return program_dir;
  const std::string shared = join_path(program_dir, "../share/zephyrim");
  if (file_exists(join_path(shared, file))) return shared;
  return program_dir;
}

EnvLookup process_environment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
  };
}

std::optional<std::string> find_config_file(const std::string& program_dir, const EnvLookup& getenv_fn) {
  if (!program_dir.empty()) {
    const std::string local = join_path(program_dir, kIniFileName);
    if (file_exists(local)) return local;
  }
  const std::string sub = std::string("zephyrim/") + kIniFileName;
  if (const auto xdg = getenv_fn("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/')
    return join_path(*xdg, sub);
  if (const auto home = getenv_fn("HOME"); home && !home->empty())
    return join_path(join_path(*home, ".config"), sub);
  return std::nullopt;
}

std::string config_location(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify) {
  if (auto path = find_config_file(program_dir, getenv_fn)) return std::move(*path);
  notify.error(kCannotWriteIni);
  return {};
}

std::string config_location(const std::string& program_dir, Notify& notify) {
  return config_location(program_dir, process_environment(), notify);
}

}  // namespace zephyrim
