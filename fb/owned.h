// The owner of one interface of the Firebird client library. The public
// classes of this layer hold their interfaces through it; it names the
// interfaces without pulling in the client library's headers.
#pragma once

#include <utility>

namespace et::fb::detail {

// Owns one Firebird interface and ends it when it dies: release() for a
// reference-counted interface, dispose() for a disposable one (a status, a
// parameter block builder). Move-only. Calls that end the interface
// themselves when they succeed (commit, rollback, detach, close, free,
// cancel) are followed by Disown(); when they fail the owner still releases
// the interface.
template <typename T>
class Owned final {
 public:
  // Holds no interface.
  Owned() = default;
  // Takes ownership of the interface (may be null).
  explicit Owned(T* interface) noexcept : interface_(interface) {}
  // Ends the interface held, if any.
  ~Owned() { Reset(); }
  // Takes over the other's interface.
  Owned(Owned&& other) noexcept : interface_(std::exchange(other.interface_, nullptr)) {}
  // Ends the interface held, then takes over the other's.
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.interface_, nullptr));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  // A reference of its own to a reference-counted interface that someone
  // else owns too (may be null).
  static Owned Shared(T* interface) noexcept {
    if (interface) interface->addRef();
    return Owned(interface);
  }

  // The interface, or null.
  T* Get() const { return interface_; }
  // The interface, for calling its methods.
  T* operator->() const { return interface_; }
  // True while an interface is held.
  explicit operator bool() const { return interface_ != nullptr; }

  // Ends the interface held, if any, and takes the given one instead.
  void Reset(T* interface = nullptr) noexcept {
    T* old = std::exchange(interface_, interface);
    if (!old) return;
    if constexpr (requires { old->release(); }) {
      old->release();
    } else {
      old->dispose();
    }
  }
  // Lets go of the interface without ending it: a call already did.
  void Disown() noexcept { interface_ = nullptr; }

 private:
  T* interface_ = nullptr;
};

}  // namespace et::fb::detail
