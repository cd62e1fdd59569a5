// What the program entry hands to a run: the user interface, the regional
// settings and clock read once at start, and the installation's directory.
#pragma once

#include <string>

#include "platform/regional.h"
#include "platform/ui.h"

namespace et {

struct RunEnvironment {
  UserInterface& ui;
  RegionalSettings regional;
  const Clock& clock;
  // Where the parameters file is (InstallationDirectory()), with its
  // trailing separator.
  std::string installation_directory;
};

}  // namespace et
