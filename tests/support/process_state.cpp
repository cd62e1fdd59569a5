#include "support/process_state.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace et::test {

int DescriptorsOn(pid_t pid, const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd/";
  DIR* descriptors = ::opendir(dir.c_str());
  if (descriptors == nullptr) return 0;
  int count = 0;
  // Descriptors come and go while the directory is read: one that has gone
  // is not counted.
  while (const dirent* entry = ::readdir(descriptors)) {
    struct stat open_file {};
    if (entry->d_name[0] != '.' && ::stat((dir + entry->d_name).c_str(), &open_file) == 0 &&
        open_file.st_dev == file.st_dev && open_file.st_ino == file.st_ino) {
      ++count;
    }
  }
  ::closedir(descriptors);
  return count;
}

bool Asleep(pid_t pid, pid_t tid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat");
  std::stringstream text;
  text << in.rdbuf();
  // "tid (name) S ...": the name may hold blanks and parentheses, the state
  // follows the last ')'.
  const std::string stat = text.str();
  const std::size_t name_end = stat.rfind(')');
  return name_end != std::string::npos && name_end + 2 < stat.size() && stat[name_end + 2] == 'S';
}

}  // namespace et::test
