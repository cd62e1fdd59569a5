// How a database is opened: as whom, what follows an attach that fails, and
// how long a database file that another process holds is waited for.
#pragma once

#include <chrono>

#include "dbconfig/database_connection.h"

namespace et {

// What the opener does when a database name cannot be attached.
enum class OnAttachFailure {
  kCreate,  // creates an empty database under the same name
  kFail,    // gives the attach's own reason
};

struct OpeningPolicy {
  DatabaseCredentials credentials{};
  OnAttachFailure on_attach_failure = OnAttachFailure::kFail;
  // An embedded database is open in one process at a time: an attach
  // refused because another process holds the file is tried again until
  // this much time has passed (or a stop is requested), and is never
  // answered by a creation.
  std::chrono::seconds wait_while_held{0};

  // The credentials of the environment; a database that cannot be attached
  // is created; a held file is waited for up to `wait`.
  static OpeningPolicy AttachOrCreate(std::chrono::seconds wait) {
    return {DatabaseCredentialsFromEnvironment(), OnAttachFailure::kCreate, wait};
  }
  // The credentials of the environment; nothing is created and nothing
  // waited for: what cannot be attached at once fails with the engine's
  // reason.
  static OpeningPolicy AttachOnly() {
    return {DatabaseCredentialsFromEnvironment(), OnAttachFailure::kFail, std::chrono::seconds(0)};
  }
};

}  // namespace et
