#include "ui/win32/dialog_template.h"

#include <cstring>

namespace qelto {

template <typename T>
void DialogTemplate::Append(const T& value) {
  static_assert(sizeof(T) % sizeof(WORD) == 0);
  const std::size_t at = words_.size();
  words_.resize(at + sizeof(T) / sizeof(WORD));
  std::memcpy(words_.data() + at, &value, sizeof(T));
}

DialogTemplate::DialogTemplate(DWORD style, DWORD extendedStyle, std::wstring_view title) {
  DLGTEMPLATE dialog{};
  dialog.style = style;
  dialog.dwExtendedStyle = extendedStyle;
  Append(dialog);
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the standard dialog class
  AppendText(title);
}

void DialogTemplate::AddControl(ControlClass kind, WORD id, DWORD style, DWORD extendedStyle,
                                std::wstring_view text) {
  AlignToDword();
  DLGITEMTEMPLATE item{};
  item.style = style | WS_CHILD;
  item.dwExtendedStyle = extendedStyle;
  item.id = id;
  Append(item);
  words_.push_back(0xFFFF);  // a predefined class follows, by its number
  words_.push_back(static_cast<WORD>(kind));
  AppendText(text);
  words_.push_back(0);  // no creation data
  // The count of controls lies in the dialog's own record, at the start.
  DLGTEMPLATE dialog;
  std::memcpy(&dialog, words_.data(), sizeof dialog);
  ++dialog.cdit;
  std::memcpy(words_.data(), &dialog, sizeof dialog);
}

const DLGTEMPLATE* DialogTemplate::Get() const {
  return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
}

void DialogTemplate::AppendText(std::wstring_view text) {
  for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
  words_.push_back(0);
}

void DialogTemplate::AlignToDword() {
  if (words_.size() % 2 != 0) words_.push_back(0);
}

}  // namespace qelto
