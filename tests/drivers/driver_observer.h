#pragma once

// The callback that the driver library tests register, as the recorder's does, and what it saw.
// Shared by the Linux and the Windows tests of our driver library; each loads the library once
// per process (LoadDriver) and keeps its entry points in `api`.

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/driver_abi.h"
#include "recorder_reading.h"
#ifdef _WIN32
#include "common/win32/wide_text.h"
#endif

namespace qelto::cidr::testing_support {

// Bounds waits that should end almost at once, so a broken driver fails instead of hanging.
inline constexpr std::chrono::seconds kPatience{20};

struct SeenEvent {
  std::int32_t code = 0;
  std::u16string text;
  std::thread::id thread;
  int connected = -1;  // status events: devices counted from CIDR_Info inside the callback
};

struct DriverApi {
  CIDR_InfoFunction info = nullptr;
  CIDR_RegisterEventFunction register_event = nullptr;
};

// The library's entry points, resolved once per process.
inline DriverApi api;

// Loads the library at `path` into `api`: empty, or why it could not. Never unloaded: like the
// recorder, the process keeps its driver until it ends.
inline std::string LoadDriver(const std::string& path) {
#ifdef _WIN32
  HMODULE library = LoadLibraryW(WideFromUtf8(path).c_str());
  if (library == nullptr) return "cannot load " + path + ": " + std::to_string(GetLastError());
  const auto entry = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
  };
#else
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return ::dlerror();
  const auto entry = [&](const char* name) { return ::dlsym(library, name); };
#endif
  api.info = reinterpret_cast<CIDR_InfoFunction>(entry("CIDR_Info"));
  api.register_event = reinterpret_cast<CIDR_RegisterEventFunction>(entry("CIDR_RegisterEvent"));
  return "";
}

inline std::string Narrow(const char16_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != u'\0'; ++text) narrow += static_cast<char>(*text);
  return narrow;
}

inline std::u16string Widen(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

// What the callback saw. The callback is a plain function without a context argument, so it
// reaches this through a global object.
class Observer {
 public:
  void Record(SeenEvent event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }

  bool WaitForEvents(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] { return events_.size() >= count; });
  }

  // Waits until an event that `match` accepts has come, and returns it.
  std::optional<SeenEvent> WaitFor(const std::function<bool(const SeenEvent&)>& match) {
    std::unique_lock lock(mutex_);
    std::optional<SeenEvent> found;
    changed_.wait_for(lock, patience, [&] {
      for (const SeenEvent& event : events_) {
        if (match(event)) found = event;
      }
      return found.has_value();
    });
    return found;
  }

  std::optional<SeenEvent> WaitForText(std::u16string_view start) {
    return WaitFor([&](const SeenEvent& event) { return event.text.starts_with(start); });
  }

  // The calls reported on `line` so far, as their texts.
  std::vector<std::u16string> Calls(std::int32_t line) {
    std::lock_guard lock(mutex_);
    std::vector<std::u16string> texts;
    for (const SeenEvent& event : events_) {
      if (event.code == line) texts.push_back(event.text);
    }
    return texts;
  }

  // Waits until `count` calls were reported on `line`, and returns them all.
  std::vector<std::u16string> WaitForCalls(std::int32_t line, std::size_t count) {
    WaitFor([&](const SeenEvent&) { return CallsLocked(line) >= count; });
    return Calls(line);
  }

  std::vector<SeenEvent> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    events_.clear();
    withdrawn = false;
    calls_after_withdrawal = 0;
    inner_withdraw_result = 1;
  }

  std::chrono::seconds patience = kPatience;  // how long each wait may take
  std::atomic<bool> withdrawn{false};
  std::atomic<int> calls_after_withdrawal{0};
  std::atomic<int> inner_withdraw_result{1};

 private:
  std::size_t CallsLocked(std::int32_t line) const {
    std::size_t count = 0;
    for (const SeenEvent& event : events_) count += event.code == line ? 1 : 0;
    return count;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<SeenEvent> events_;
};

inline Observer observer;

// The callback as the recorder uses it: a status event makes it ask for the information text.
// The status text "Swithdraw-me" makes it withdraw itself from inside the callback.
inline void CIDR_CALL OnEvent(std::int32_t code, const char16_t* text) {
  SeenEvent event{code, text != nullptr ? text : u"", std::this_thread::get_id(), -1};
  if (code == 0) {
    event.connected =
        testing_support::ConnectedDeviceCount(Narrow(static_cast<const char16_t*>(api.info())));
  }
  if (event.text == u"Swithdraw-me") {
    observer.inner_withdraw_result = api.register_event(nullptr, 0);
  }
  observer.Record(std::move(event));
  // Checked last: a callback still running when withdrawal returns is as wrong as a late one.
  if (observer.withdrawn) ++observer.calls_after_withdrawal;
}

}  // namespace qelto::cidr::testing_support
