// Local paths and the database path texts of the configuration.
#pragma once

#include <string>
#include <string_view>

namespace et {

// The directory separator of local paths on this platform.
inline constexpr char kPathSeparator = '/';

// The path with one separator at its end (unchanged when it already has one).
std::string WithTrailingSeparator(std::string path);

// A database path split after its last '/', '\' or ':' into the directory
// (with that character) and the file name: "/srv/d/archivio.fdb" gives
// "/srv/d/" and "archivio.fdb"; "SRV:D:\Dati\a.fdb" gives "SRV:D:\Dati\" and
// "a.fdb"; a text without any of them is all file name.
struct SplitPath {
  std::string directory;
  std::string file_name;
};
SplitPath SplitDatabasePath(std::string_view path);

// The part of a path after its last '/', '\' or ':' (the remote name of an
// uploaded file).
std::string FileNamePart(std::string_view path);

// True when a Firebird database name reaches a server: "host:path",
// "host/port:path", "host:alias" or "inet://host/path": a host comes before
// the first ':'. A local path ("/srv/d/archivio.fdb", "./a:b.fdb") is false:
// the client library opens it with the engine embedded in the process.
bool NamesDatabaseServer(std::string_view database_name);

// Directory of the running executable, from its real path, ending with the
// separator.
std::string ExecutableDirectory();

// The environment variable that names an installation's directory.
inline constexpr const char* kInstallationDirectoryVariable = "EXPORTTOTALE_DIR";

// The directory of the installation, the one that holds the parameters file,
// ending with the separator: EXPORTTOTALE_DIR when it is set and not empty
// (so that one host keeps several installations beside one copy of the
// programs), otherwise the executable's directory.
std::string InstallationDirectory();

// True when a regular file (symbolic links followed) exists at the path.
bool FileExists(const std::string& path);

// True when a directory (symbolic links followed) exists at the path.
bool DirectoryExists(const std::string& path);

}  // namespace et
