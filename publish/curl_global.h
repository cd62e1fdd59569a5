// The network library's process-wide set-up, done once before the first
// handle is made.
#pragma once

namespace et::detail {

// Initialises libcurl on the first call; later calls do nothing. Not
// undone at exit: uploaders owned by the run may still close their
// connections while the program ends.
void EnsureCurlInitialized();

}  // namespace et::detail
