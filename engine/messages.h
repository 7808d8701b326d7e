// Worker-to-window messages and the target they are delivered to. The identifiers are the window
// message numbers the pages know; the UI maps a target onto queued calls, tests record them.
#pragma once

#include <cstdint>

namespace bc::engine {

inline constexpr std::uint32_t kMsgScanFinished = 0x401;    // posted: wParam 1, lParam 0
inline constexpr std::uint32_t kMsgScanStopped = 0x402;     // posted: wParam 1, lParam 0
inline constexpr std::uint32_t kMsgCategoryStart = 0x403;   // sent: wParam category bit, lParam 1
inline constexpr std::uint32_t kMsgCategoryEnd = 0x404;     // sent: wParam category bit, lParam 1
inline constexpr std::uint32_t kMsgBeforeCategory = 0x405;  // sent: wParam 0, lParam 0
// Posted to the main window: wParam points to the shared status text (read it with
// EngineContext::CopyStatusText), lParam 0.
inline constexpr std::uint32_t kMsgStatusText = 0x4AA;

// A window as a worker sees it.
class IMessageTarget {
 public:
  virtual ~IMessageTarget() = default;
  // Delivered before the call returns (SendMessage).
  virtual void Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Queued for the target's thread (PostMessage).
  virtual void Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

}  // namespace bc::engine
