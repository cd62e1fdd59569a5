// The lifetimes this layer documents, checked in debug builds instead of
// objects pointing at each other: an object that others rely on (an
// attachment, a transaction with open cursors) hands each of them a mark and
// asserts, when it ends, that none is left. Release builds keep nothing.
#pragma once

#ifndef NDEBUG
#include <memory>
#endif

namespace et::fb::detail {

// The marks an object has handed to those that rely on it. Moving the object
// moves them along, so a mark follows the connection and not the object.
class Dependents final {
 public:
  // Held by a dependent for as long as it relies on the object that handed
  // it out; an empty mark relies on nothing.
  class Mark final {
   private:
    friend class Dependents;
#ifndef NDEBUG
    std::shared_ptr<const int> owner_;
#endif
  };

#ifndef NDEBUG
  // A new mark on this object.
  Mark Hand() const {
    Mark mark;
    mark.owner_ = owner_;
    return mark;
  }
  // True while no mark of this object is held.
  bool NoneLeft() const { return !owner_ || owner_.use_count() == 1; }

 private:
  std::shared_ptr<const int> owner_ = std::make_shared<const int>(0);
#else
  // A new mark on this object.
  Mark Hand() const { return {}; }
  // True while no mark of this object is held.
  bool NoneLeft() const { return true; }
#endif
};

}  // namespace et::fb::detail
