#include "base/module_hold_win32.h"

#include <new>
#include <utility>

namespace tonvane {
namespace {

struct Release {
  HMODULE module;
  HWND gate;
};

DWORD WINAPI ReleaseModule(void* parameter) {
  const Release release = *static_cast<Release*>(parameter);
  delete static_cast<Release*>(parameter);
  if (release.gate) {
    SendMessageA(release.gate, WM_NULL, 0, 0);
    PostMessageA(release.gate, WM_CLOSE, 0, 0);
  }
  FreeLibraryAndExitThread(release.module, 0);
}

}  // namespace

TModuleHold TModuleHold::Take() {
  TModuleHold hold;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ReleaseModule),
                          &hold.module_))
    return TModuleHold();
  hold.gate_ = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  return hold;
}

TModuleHold::TModuleHold(TModuleHold&& other) noexcept
    : module_(std::exchange(other.module_, nullptr)), gate_(std::exchange(other.gate_, nullptr)) {}

TModuleHold& TModuleHold::operator=(TModuleHold&& other) noexcept {
  if (this != &other) {
    LetGo();
    module_ = std::exchange(other.module_, nullptr);
    gate_ = std::exchange(other.gate_, nullptr);
  }
  return *this;
}

void TModuleHold::LetGo() {
  if (!module_) return;
  auto* release = new (std::nothrow) Release{module_, gate_};
  if (!release) return;
  module_ = nullptr;
  gate_ = nullptr;
  if (HANDLE thread = CreateThread(nullptr, 0, ReleaseModule, release, 0, nullptr)) {
    CloseHandle(thread);
    return;
  }
  delete release;  // the reference stays taken
}

}  // namespace tonvane
