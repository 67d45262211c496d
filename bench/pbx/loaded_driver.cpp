#include "loaded_driver.h"

#include <dlfcn.h>

#include <filesystem>
#include <fstream>

namespace qelto::bench {

LoadedDriver::LoadedDriver(const std::string& library, const std::string& folder, int port) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path copy = fs::path(folder) / "libPOS_CIDR.so";
  fs::create_directories(folder, error);
  fs::copy_file(library, copy, fs::copy_options::overwrite_existing, error);
  if (error) {
    problem_ = "cannot copy " + library + ": " + error.message();
    return;
  }
  std::ofstream(fs::path(folder) / "POS_CIDR.conf")
      << "[device]\nkind = pbx\nhost = 127.0.0.1\nport = " << port
      << "\nuser = bench\nsecret = s\nline = 1\n";
  // The driver keeps its file of reported calls in the working folder, as the recorder's: one of
  // an earlier run would hold this run's calls.
  fs::current_path(folder, error);
  library_ = ::dlopen(copy.c_str(), RTLD_NOW);
  if (library_ == nullptr) {
    problem_ = ::dlerror();
    return;
  }
  register_ = reinterpret_cast<CIDR_RegisterEventFunction>(::dlsym(library_, "CIDR_RegisterEvent"));
  if (register_ == nullptr) problem_ = "no CIDR_RegisterEvent in " + library;
}

LoadedDriver::~LoadedDriver() {
  if (register_ != nullptr) register_(nullptr, 0);
  // Not unloaded: the library is linked to stay (-z nodelete).
}

void LoadedDriver::Register(CIDR_EventCallback callback) {
  if (register_ != nullptr) register_(callback, kRegisterEventValue);
}

}  // namespace qelto::bench
