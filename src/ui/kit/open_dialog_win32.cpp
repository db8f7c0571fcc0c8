#include "ui/kit/open_dialog_win32.h"

#include <algorithm>
#include <string>

namespace tonvane {

bool TOpenDialog::Execute(HWND owner) {
  std::string filter = Filter;
  std::replace(filter.begin(), filter.end(), '|', '\0');
  filter += '\0';  // the list ends in two zeros; c_str() adds the second
  char file[MAX_PATH] = {};
  FileName.copy(file, MAX_PATH - 1);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.Flags = Options;
  if (!GetOpenFileNameA(&ofn)) return false;
  FileName = file;
  return true;
}

}  // namespace tonvane
