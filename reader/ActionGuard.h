// One user action at a time.
//
// Every user action of the window (the two source buttons, the open button, the double click,
// extract-all) runs to its end before the next may start. While one runs, the window may still
// process its pending messages: the ASPI transport does so between two polls of a request. A
// click or key handled then would start a second action inside the first (change the listing an
// extract-all is copying from, or build the drive list a second time). Both windows run their
// actions through this guard, which refuses such a nested action and tells the window when it
// becomes busy and when it is done, so the window can drop user input and show the wait cursor
// meanwhile.
#pragma once

#include <functional>
#include <utility>

namespace brindle::reader {

class ActionGuard {
 public:
  // started runs as the first action begins, before it; ended runs after it, while busy() is
  // still true (so input that arrived during the action can be dropped there). Either may be
  // empty.
  explicit ActionGuard(std::function<void()> started = {}, std::function<void()> ended = {})
      : started_(std::move(started)), ended_(std::move(ended)) {}
  ActionGuard(const ActionGuard&) = delete;
  ActionGuard& operator=(const ActionGuard&) = delete;

  // Whether an action is running.
  bool busy() const { return busy_; }

  // Runs action unless another is running; false when it was refused. The guard is idle again
  // after action returns or throws.
  template <typename Action>
  bool run(Action&& action) {
    if (busy_) return false;
    busy_ = true;
    Scope scope(*this);
    if (started_) started_();
    std::forward<Action>(action)();
    return true;
  }

 private:
  struct Scope {
    explicit Scope(ActionGuard& guard) : guard(guard) {}
    ~Scope() {
      if (guard.ended_) guard.ended_();
      guard.busy_ = false;
    }
    ActionGuard& guard;
  };

  std::function<void()> started_;
  std::function<void()> ended_;
  bool busy_ = false;
};

}  // namespace brindle::reader
