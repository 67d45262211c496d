#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "device/driver_abi.h"
#include "device/library_loader.h"

namespace qelto::testing_support {

// An in-process caller-ID driver: entry points are plain functions of this process, the
// information text and the registration are what the test sets and reads. One at a time.
class FakeDriver {
 public:
  FakeDriver();
  ~FakeDriver();
  FakeDriver(const FakeDriver&) = delete;
  FakeDriver& operator=(const FakeDriver&) = delete;

  // The information text returned by "CIDR_Info" (UTF-16).
  void SetInfo(std::u16string info);
  // Leaves out one entry point, as a broken driver would.
  void Omit(const std::string& name) { omitted_ = name; }

  CIDR_EventCallback callback() const { return callback_.load(); }
  std::int32_t value() const { return value_.load(); }
  int registrations() const { return registrations_.load(); }

  // Delivers an event through the registered callback, as the driver's thread would.
  void Deliver(std::int32_t code, const char16_t* text) const;

  // A loader that hands out this driver.
  std::unique_ptr<LibraryLoader> Loader();

 private:
  static const void* CIDR_CALL Info();
  static std::int32_t CIDR_CALL Register(CIDR_EventCallback callback, std::int32_t value);
  static void CIDR_CALL Unused();

  static FakeDriver* current_;
  std::mutex infoLock_;
  std::u16string info_;
  std::u16string infoCopy_;
  std::string omitted_;
  std::atomic<CIDR_EventCallback> callback_{nullptr};
  std::atomic<std::int32_t> value_{-1};
  std::atomic<int> registrations_{0};
};

// Information text with `connected` of `devices` lines reporting "Connected".
std::u16string InfoWithDevices(int connected, int devices);

}  // namespace qelto::testing_support
