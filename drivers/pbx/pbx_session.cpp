#include "drivers/pbx/pbx_session.h"

#include <utility>

namespace qelto::sim {

DeviceStep PbxSession::OnStart() {
  std::string problem;
  reported_calls_ = std::make_unique<ReportedCallsFile>(ReportedCallsFileName(line_),
                                                        SecondsSince1970(), problem);
  device_.Remembered(reported_calls_->keys());
  if (problem.empty()) return {};
  return Step(device_.OnCallsFileProblem(problem));
}

DeviceStep PbxSession::Step(PbxStep step) {
  // Kept before they are handed on: a recorder restarted now does not take them again.
  if (reported_calls_ && !step.remember.empty()) reported_calls_->Keep(step.remember);
  // A connection to be dropped is not written to any more.
  if (step.close) step.send.clear();
  return {std::move(step.send), std::move(step.send_shown), std::move(step.events), step.close,
          std::move(step.why)};
}

}  // namespace qelto::sim
