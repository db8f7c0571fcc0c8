#pragma once

#include <windows.h>

#include <commdlg.h>

#include <string>

namespace tonvane {

// The system's file-open dialog.
class TOpenDialog {
 public:
  std::string DefaultExt;
  // Pairs of description and pattern, separated by '|'.
  std::string Filter;
  DWORD Options = OFN_HIDEREADONLY | OFN_ENABLESIZING;
  std::string FileName;

  // Shows the dialog modal to owner; true with FileName set when the user chose a file.
  bool Execute(HWND owner);
};

}  // namespace tonvane
