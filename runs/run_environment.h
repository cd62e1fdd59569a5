// What the program entry hands to a run: the user interface, the regional
// settings and clock read once at start, and where the program lives.
#pragma once

#include <string>

#include "platform/regional.h"
#include "platform/ui.h"

namespace et {

struct RunEnvironment {
  UserInterface& ui;
  RegionalSettings regional;
  const Clock& clock;
  std::string executable_directory;  // with its trailing separator
};

}  // namespace et
