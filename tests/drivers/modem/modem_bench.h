#pragma once

// What the modem transcripts (modem_transcripts_test.cpp) need from a platform: our driver
// library, loaded once per process and configured for one caller-ID modem on line 1 (see
// OneModemConfig), and a fake modem at that modem's port. On Linux the port is a symbolic link
// to a pseudo-terminal of the test's own (modem_bench_posix.cpp); on Windows it is a COM port,
// under Wine a link in the prefix's dosdevices folder to a pseudo-terminal of a fake-modem-server
// on the Linux side (modem_bench_win32.cpp).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::cidr::testing_support {

enum class ModemKind {
  kVcid,  // Conexant's or USRobotics' command set: AT+VCID=1
  kCid,   // an older Rockwell modem: AT+VCID is unknown, AT#CID=1 works
};

// The driver's configuration file for the bench: one modem at `port`, on line 1, with the raw
// data file raw.txt beside it.
inline std::string OneModemConfig(std::string_view port) {
  return "# one caller-ID modem\r\nraw_log = raw.txt\r\n[device]\r\nkind = modem\r\nport = " +
         std::string(port) + "\r\nline = 1\r\n";
}

class ModemBench {
 public:
  virtual ~ModemBench() = default;
  // Empty when the library is loaded (its entry points in `api`); otherwise why not.
  virtual const std::string& problem() const = 0;
  // The modem's port as the configuration and the driver's texts name it.
  virtual const std::string& port() const = 0;
  // The raw data file's path, for reading.
  virtual std::string RawLogPath() const = 0;
  // A modem of `kind` plugged in at the port; empty, or why it could not be.
  virtual std::string Plug(ModemKind kind) = 0;
  // What the modem prints, all of it, to the driver.
  virtual void Send(std::string_view bytes) = 0;
  // Waits (a bounded while) until the driver has sent `count` commands; returns all so far.
  virtual std::vector<std::string> Commands(std::size_t count) = 0;
  // The modem pulled out: its port goes and the driver's side hangs up.
  virtual void Unplug() = 0;
};

// The platform's bench, made (and the library loaded) at the first call.
ModemBench& Bench();

}  // namespace qelto::cidr::testing_support
