// The modem transcripts' bench on Linux: the real libPOS_CIDR.so, copied into a private folder
// with its configuration file, and a FakeModem behind a symbolic link there.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "driver_observer.h"
#include "fake_modem.h"
#include "modem_bench.h"

namespace qelto::cidr::testing_support {
namespace {

class PosixModemBench final : public ModemBench {
 public:
  PosixModemBench() {
    char directory[] = "/tmp/qelto-modem-bench-XXXXXX";
    if (::mkdtemp(directory) == nullptr) {
      problem_ = "no temporary folder";
      return;
    }
    directory_ = directory;
    port_ = directory_ + "/modem";
    std::error_code error;
    std::filesystem::copy_file(QELTO_CIDR_DRIVER_PATH, directory_ + "/libPOS_CIDR.so", error);
    if (error) {
      problem_ = "cannot copy the driver: " + error.message();
      return;
    }
    std::ofstream(directory_ + "/POS_CIDR.conf", std::ios::binary) << OneModemConfig(port_);
    ::setenv("QELTO_CIDR_SIM_SOCKET", (directory_ + "/sim.sock").c_str(), 1);
    problem_ = LoadDriver(directory_ + "/libPOS_CIDR.so");
  }

  ~PosixModemBench() override {
    modem_.reset();
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

  const std::string& problem() const override { return problem_; }
  const std::string& port() const override { return port_; }
  std::string RawLogPath() const override { return directory_ + "/raw.txt"; }

  std::string Plug(ModemKind kind) override {
    modem_.reset();
    modem_ = std::make_unique<FakeModem>(
        port_, kind == ModemKind::kCid ? FakeModem::CidModem() : FakeModem::VcidModem());
    return modem_->problem();
  }
  void Send(std::string_view bytes) override {
    if (modem_) modem_->Send(bytes);
  }
  std::vector<std::string> Commands(std::size_t count) override {
    return modem_ ? modem_->WaitForCommands(count) : std::vector<std::string>{};
  }
  void Unplug() override { modem_.reset(); }

 private:
  std::string problem_;
  std::string directory_;
  std::string port_;
  std::unique_ptr<FakeModem> modem_;
};

}  // namespace

ModemBench& Bench() {
  static PosixModemBench bench;
  return bench;
}

}  // namespace qelto::cidr::testing_support
