#pragma once

namespace qelto {

// Keeps a second copy of the recorder from running at the same time in the same session.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  // False only when another running copy holds the guard. A guard that cannot be set up at all
  // lets the recorder run without it.
  virtual bool Acquire() = 0;
};

}  // namespace qelto
