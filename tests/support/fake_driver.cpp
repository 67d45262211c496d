#include "support/fake_driver.h"

#include <stdexcept>

namespace qelto::testing_support {
namespace {

class FakeLibrary : public DriverLibrary {
 public:
  explicit FakeLibrary(std::map<std::string, void*> symbols) : symbols_(std::move(symbols)) {}
  void* Symbol(const char* name) const override {
    const auto it = symbols_.find(name);
    return it == symbols_.end() ? nullptr : it->second;
  }

 private:
  std::map<std::string, void*> symbols_;
};

class FakeLoader : public LibraryLoader {
 public:
  explicit FakeLoader(std::map<std::string, void*> symbols) : symbols_(std::move(symbols)) {}
  std::unique_ptr<DriverLibrary> Load() override { return std::make_unique<FakeLibrary>(symbols_); }

 private:
  std::map<std::string, void*> symbols_;
};

}  // namespace

FakeDriver* FakeDriver::current_ = nullptr;

FakeDriver::FakeDriver() : info_(InfoWithDevices(1, 1)) {
  if (current_ != nullptr) throw std::logic_error("one FakeDriver at a time");
  current_ = this;
}

FakeDriver::~FakeDriver() {
  current_ = nullptr;
}

void FakeDriver::SetInfo(std::u16string info) {
  std::lock_guard guard(infoLock_);
  info_ = std::move(info);
}

void FakeDriver::Deliver(std::int32_t code, const char16_t* text) const {
  if (CIDR_EventCallback cb = callback_.load()) cb(code, text);
}

std::unique_ptr<LibraryLoader> FakeDriver::Loader() {
  std::map<std::string, void*> symbols{{"CIDR_Info", reinterpret_cast<void*>(&Info)},
                                       {"CIDR_RegisterEvent", reinterpret_cast<void*>(&Register)},
                                       {"CIDR_SaveLine", reinterpret_cast<void*>(&Unused)},
                                       {"CIDR_PlayLine", reinterpret_cast<void*>(&Unused)}};
  symbols.erase(omitted_);
  return std::make_unique<FakeLoader>(std::move(symbols));
}

const void* CIDR_CALL FakeDriver::Info() {
  // Like a real driver, hand out a buffer that stays valid while the caller reads it.
  thread_local std::u16string copy;
  std::lock_guard guard(current_->infoLock_);
  copy = current_->info_;
  return copy.c_str();
}

std::int32_t CIDR_CALL FakeDriver::Register(CIDR_EventCallback callback, std::int32_t value) {
  current_->callback_ = callback;
  current_->value_ = value;
  ++current_->registrations_;
  return 0;
}

void CIDR_CALL FakeDriver::Unused() {}

std::u16string InfoWithDevices(int connected, int devices) {
  std::u16string text = u"POS CID\r\nVER 2.1\r\nPorts 1\r\nDevices\r\n";
  for (int i = 1; i <= devices; ++i) {
    text += u"Line " + std::u16string(1, static_cast<char16_t>(u'0' + i)) +
            (i <= connected ? u": Connected\r\n" : u": Disconnected\r\n");
  }
  return text;
}

}  // namespace qelto::testing_support
