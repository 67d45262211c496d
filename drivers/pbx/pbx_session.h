#pragma once

#include <memory>

#include "drivers/pbx/pbx_device.h"
#include "drivers/pbx/reported_calls.h"

namespace qelto::cidr {

// A telephone system's device as the driver runs it: with the file of the calls it reported,
// which every call is kept in before the recorder hears of it.
class PbxSession final : public PbxDevice {
 public:
  PbxSession(std::int32_t line, PbxSettings settings, Md5HexFunction md5)
      : PbxDevice(line, std::move(settings), md5), line_(line) {}

  // Reads the calls reported by earlier runs.
  DeviceStep OnStart() override {
    std::string problem;
    calls_file_ = std::make_unique<ReportedCallsFile>(ReportedCallsFileName(line_),
                                                      SecondsSince1970(), problem);
    Remembered(calls_file_->keys());
    return problem.empty() ? DeviceStep{} : OnCallsFileProblem(problem);
  }
  DeviceStep OnBytes(std::string_view bytes, TimePoint now) override {
    DeviceStep step = PbxDevice::OnBytes(bytes, now);
    if (calls_file_ && !step.remember.empty()) calls_file_->Keep(step.remember);
    return step;
  }

 private:
  std::int32_t line_;
  std::unique_ptr<ReportedCallsFile> calls_file_;
};

}  // namespace qelto::cidr
