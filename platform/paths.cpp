#include "platform/paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/error.h"

namespace et {
namespace {

// Database paths of the configuration may be written the Windows way
// ("SRV:D:\Dati\a.fdb") or the POSIX way; any of these ends a directory.
constexpr std::string_view kDirectoryEnds = "/\\:";

bool StatIs(const std::string& path, mode_t type) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

}  // namespace

std::string WithTrailingSeparator(std::string path) {
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  return path;
}

SplitPath SplitDatabasePath(std::string_view path) {
  const std::size_t cut = path.find_last_of(kDirectoryEnds);
  if (cut == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

std::string FileNamePart(std::string_view path) { return SplitDatabasePath(path).file_name; }

bool NamesDatabaseServer(std::string_view database_name) {
  const std::size_t colon = database_name.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  // "host/port:" carries a '/', a local path "/srv/d:x/a.fdb" starts with one.
  const char first = database_name.front();
  return first != '/' && first != '\\' && first != '.';
}

std::string ExecutableDirectory() {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath("/proc/self/exe", nullptr),
                                                   &std::free);
  if (!real) {
    throw IoError(std::string("Cannot find the program's own path. ") + std::strerror(errno));
  }
  const std::string path = real.get();
  return path.substr(0, path.rfind(kPathSeparator) + 1);
}

std::string InstallationDirectory() {
  const char* named = std::getenv(kInstallationDirectoryVariable);
  if (named != nullptr && *named != '\0') return WithTrailingSeparator(named);
  return ExecutableDirectory();
}

bool FileExists(const std::string& path) { return StatIs(path, S_IFREG); }

bool DirectoryExists(const std::string& path) { return StatIs(path, S_IFDIR); }

}  // namespace et
