// The scan controller's stop event: manual reset, created non-signalled. Once set it stays set
// until Reset; workers poll it with a zero time-out.
#pragma once

#include <atomic>

namespace bc::engine {

class ManualResetEvent {
 public:
  void Set() { signalled_.store(true, std::memory_order_release); }
  void Reset() { signalled_.store(false, std::memory_order_release); }
  bool IsSet() const { return signalled_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> signalled_{false};
};

}  // namespace bc::engine
