#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace qelto {

// Builds a dialog template in memory (the layout DialogBoxIndirectParamW reads): the dialog's
// own record, then one record per control. Positions are in dialog units; a dialog that places
// its controls in pixels may leave them at zero and move them when it starts.
class DialogTemplate {
 public:
  // Predefined window classes of the template's control records.
  enum class ControlClass : WORD { kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082 };

  DialogTemplate(DWORD style, DWORD extendedStyle, std::wstring_view title);

  void AddControl(ControlClass kind, WORD id, DWORD style, DWORD extendedStyle = 0,
                  std::wstring_view text = {});

  const DLGTEMPLATE* Get() const;

 private:
  void AppendText(std::wstring_view text);
  void AlignToDword();
  template <typename T>
  void Append(const T& value);

  std::vector<WORD> words_;
};

}  // namespace qelto
