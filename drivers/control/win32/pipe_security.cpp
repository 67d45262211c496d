#include "drivers/control/win32/pipe_security.h"

#include <sddl.h>

#include "common/win32/wide_text.h"

namespace qelto::cidr {

UserOnlySecurity::UserOnlySecurity(const std::string& user_sid) {
  if (user_sid.empty()) return;
  // A protected DACL with one entry: all rights (making further pipe instances among them) for
  // the user. Administrators and the system get nothing either: the pipe drives the recorder.
  // The medium integrity label lets the user's ordinary tool in when the recorder runs elevated
  // (started by the installer, say): its pipe would otherwise take the high label of its maker.
  const std::wstring sddl = L"D:P(A;;GA;;;" + WideFromUtf8(user_sid) + L")S:(ML;;NW;;;ME)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                           &descriptor, nullptr)) {
    descriptor_.reset(descriptor);
  }
}

}  // namespace qelto::cidr
