#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "common/clock.h"

namespace qelto {

// The driver's latest texts for the status window: its information text and its latest status
// event, kept where the event method reads them anyway, so that the window never asks the
// driver. Written on the driver's thread, read on the user-interface thread; `lock_` is held only
// to copy a text.
class DeviceTexts {
 public:
  struct Copy {
    std::string infoText;
    std::string lastStatus;
    std::optional<LocalDateTime> lastStatusAt;
  };

  void SetInfo(std::string infoText) {
    std::lock_guard<std::mutex> hold(lock_);
    texts_.infoText = std::move(infoText);
  }
  void SetLastStatus(std::string status, const LocalDateTime& at) {
    std::lock_guard<std::mutex> hold(lock_);
    texts_.lastStatus = std::move(status);
    texts_.lastStatusAt = at;
  }
  Copy Get() const {
    std::lock_guard<std::mutex> hold(lock_);
    return texts_;
  }

 private:
  mutable std::mutex lock_;
  Copy texts_;
};

}  // namespace qelto
