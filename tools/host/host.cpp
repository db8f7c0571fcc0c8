// tonvane-host: loads a plug-in DLL exactly as the Trovex show-control host does and
// drives it from a script or the keyboard. Every plug-in call is made on the main
// thread, which runs a message loop (and ticks the plug-in) between script lines.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin_host.h"
#include "tonvane_version.h"

using namespace tonvane;
using namespace tonvane::host;

namespace {

constexpr char kUsage[] =
    "usage: tonvane-host.exe [--plugin DLL] [--plugin-path PATH] [--tick MS] [--auto-dismiss] [--timed]\n"
    "                        [SCRIPT|-]\n"
    "       tonvane-host.exe --version\n";

struct Options {
  std::string plugin;
  std::optional<std::string> pluginPath;
  DWORD tickMs = 50;
  bool autoDismiss = false;
  bool timed = false;
  std::string script = "-";
};

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return n ? std::string(buffer, n) : path;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  bool scriptGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--plugin") {
      if (!value(o.plugin)) return false;
    } else if (a == "--plugin-path") {
      if (!value(v)) return false;
      o.pluginPath = v;
    } else if (a == "--tick") {
      if (!value(v) || v.empty() || v.find_first_not_of("0123456789") != std::string::npos) return false;
      o.tickMs = static_cast<DWORD>(std::stoul(v));
    } else if (a == "--auto-dismiss") {
      o.autoDismiss = true;
    } else if (a == "--timed") {
      o.timed = true;
    } else if (a == "--help" || a == "-h") {
      return false;
    } else if (!scriptGiven && (a == "-" || a.rfind("--", 0) != 0)) {
      o.script = a;
      scriptGiven = true;
    } else {
      return false;
    }
  }
  if (o.plugin.empty()) o.plugin = ExecutableDir() + "Tonvane.dll";
  return true;
}

// Reads script lines on a thread of its own, so that the main thread can keep its
// message loop and the plug-in's ticks going while it waits for the next line.
class LineSource {
 public:
  explicit LineSource(std::istream& in) : in_(in) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reader_ = std::thread([this] { ReadAll(); });
  }
  ~LineSource() {
    // A reader blocked on the console cannot be woken: let it go with the process.
    if (reader_.joinable()) reader_.detach();
  }
  HANDLE ready() const { return ready_; }
  // A line if one is waiting; at the end of input sets finished.
  std::optional<std::string> Next(bool& finished) {
    std::lock_guard<std::mutex> lock(mutex_);
    finished = false;
    if (!lines_.empty()) {
      std::string line = std::move(lines_.front());
      lines_.pop_front();
      if (lines_.empty() && !ended_) ResetEvent(ready_);
      return line;
    }
    finished = ended_;
    return std::nullopt;
  }

 private:
  void ReadAll() {
    std::string line;
    while (std::getline(in_, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      SetEvent(ready_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    SetEvent(ready_);
  }

  std::istream& in_;
  HANDLE ready_;
  std::mutex mutex_;
  std::deque<std::string> lines_;
  bool ended_ = false;
  std::thread reader_;
};

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  double Milliseconds() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

class Session {
 public:
  Session(const Options& o, LoadedPlugin& plugin) : options_(o), plugin_(plugin) {}

  // Runs the message loop, ticking the plug-in, until the time has passed.
  void Wait(DWORD ms) { WaitFor(nullptr, ms); }

  // Runs the message loop until the event is set or the time has passed.
  void WaitFor(HANDLE event, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
      PumpPendingMessages();
      TickIfDue();
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= ms) return;
      if (event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return;
      DWORD timeout = ms - elapsed;
      if (options_.tickMs) timeout = std::min(timeout, TimeToTick());
      MsgWaitForMultipleObjects(event ? 1 : 0, event ? &event : nullptr, FALSE, timeout, QS_ALLINPUT);
    }
  }

  // false: the script asked to quit.
  bool Run(const std::string& line) {
    if (line.empty()) return true;
    if (line[0] != '.') {
      if (!plugin_.commands) {
        Print("ERROR no plug-in loaded");
        return true;
      }
      char result[1024] = {};
      const Stopwatch watch;
      plugin_.commands->ExecuteCommand(line.c_str(), result);
      const double ms = watch.Milliseconds();
      Print("RESULT " + std::string(result));
      PrintTime(ms);
      return true;
    }
    if (!plugin_.window && line.rfind(".wait", 0) != 0 && line != ".quit") {
      Print("ERROR no plug-in loaded");
      return true;
    }
    const auto space = line.find(' ');
    const std::string directive = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (directive == ".show") {
      Print(std::string("SHOW ") + (plugin_.window->ShowPluginWindow() ? "1" : "0"));
    } else if (directive == ".show-minimized") {
      Print(std::string("SHOW ") + (plugin_.window->ShowPluginWindowMinimized() ? "1" : "0"));
    } else if (directive == ".visible") {
      Print(std::string("VISIBLE ") + (plugin_.window->IsPluginWindowVisible() ? "1" : "0"));
    } else if (directive == ".tick") {
      Tick();
    } else if (directive == ".wait") {
      if (argument.empty() || argument.find_first_not_of("0123456789") != std::string::npos) {
        Print("ERROR .wait needs a number of milliseconds");
      } else {
        Wait(static_cast<DWORD>(std::stoul(argument)));
      }
    } else if (directive == ".free") {
      const Stopwatch watch;
      plugin_.window->FreePluginWindow();
      PrintTime(watch.Milliseconds());
    } else if (directive == ".close") {
      const Stopwatch watch;
      plugin_.window->ClosePlugin();
      PrintTime(watch.Milliseconds());
    } else if (directive == ".unload") {
      const Stopwatch watch;
      plugin_.ReleaseInterfaces();
      PumpPendingMessages();
      plugin_.Unload();
      const double ms = watch.Milliseconds();
      Print("UNLOADED");
      PrintTime(ms);
    } else if (directive == ".help") {
      char help[1024] = {};
      plugin_.commands->GetCommandHelp(help);
      Print("HELP " + Escape(help));
    } else if (directive == ".screenshot") {
      if (argument.empty()) {
        Print("ERROR .screenshot needs a file name");
      } else if (!Screenshot(argument)) {
        Print("ERROR no plug-in window to capture");
      }
    } else if (directive == ".quit") {
      return false;
    } else {
      Print("ERROR unknown directive");
    }
    return true;
  }

 private:
  // With --timed, how long the last plug-in call took, messages it left aside, and
  // when it returned since the session began.
  void PrintTime(double ms) const {
    if (!options_.timed) return;
    char text[64];
    std::snprintf(text, sizeof text, "TIME %.3f ms at %.3f ms", ms, session_.Milliseconds());
    Print(text);
  }
  void Tick() {
    if (!plugin_.window) return;
    plugin_.window->Tick();
    lastTick_ = GetTickCount();
  }
  DWORD TimeToTick() const {
    const DWORD since = GetTickCount() - lastTick_;
    return since >= options_.tickMs ? 0 : options_.tickMs - since;
  }
  void TickIfDue() {
    if (options_.tickMs && TimeToTick() == 0) Tick();
  }

  // The plug-in's window: the visible top-level window of this thread that is not a dialog.
  static BOOL CALLBACK FindPluginWindow(HWND hwnd, LPARAM param) {
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (IsWindowVisible(hwnd) && std::strcmp(cls, "#32770") != 0) {
      *reinterpret_cast<HWND*>(param) = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  static HWND PluginWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindPluginWindow, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static bool Screenshot(const std::string& file) {
    HWND hwnd = PluginWindow();
    if (!hwnd) return false;
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    // What the user sees: the screen where the (stay-on-top) window stands.
    HDC windowDc = GetDC(nullptr);
    HDC memDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, w, h);
    HGDIOBJ old = SelectObject(memDc, bitmap);
    BitBlt(memDc, 0, 0, w, h, windowDc, r.left, r.top, SRCCOPY);
    SelectObject(memDc, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * static_cast<DWORD>(h));
    GetDIBits(memDc, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memDc);
    ReleaseDC(nullptr, windowDc);

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
  }

  const Options& options_;
  LoadedPlugin& plugin_;
  const Stopwatch session_;
  DWORD lastTick_ = GetTickCount();
};

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    Print(std::string("tonvane-host ") + TONVANE_VERSION);
    return 0;
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::ifstream scriptFile;
  if (options.script != "-") {
    scriptFile.open(options.script, std::ios::binary);
    if (!scriptFile) {
      Print("ERROR cannot open script " + options.script);
      return 1;
    }
  }

  std::unique_ptr<MessageBoxWatcher> watcher;
  if (options.autoDismiss)
    watcher =
        std::make_unique<MessageBoxWatcher>([](const std::string& text) { Print("BOX " + Escape(text)); });

  std::string error;
  auto plugin = LoadedPlugin::Load(options.plugin, error);
  if (!plugin) {
    Print("ERROR " + error);
    return 1;
  }
  HostObject hostObject(options.pluginPath.value_or(FullPath(options.plugin)));
  if (!plugin->Init(&hostObject, 1)) {
    Print("ERROR the plug-in handed out no plug-in object");
    return 1;
  }

  {
    LineSource lines(options.script == "-" ? std::cin : scriptFile);
    Session session(options, *plugin);
    for (;;) {
      bool finished = false;
      if (auto line = lines.Next(finished)) {
        if (!session.Run(*line)) break;
        continue;
      }
      if (finished) break;
      session.WaitFor(lines.ready(), INFINITE);
    }
  }

  plugin->ReleaseInterfaces();
  PumpPendingMessages();
  plugin.reset();
  watcher.reset();
  std::fflush(stdout);
  // A reader thread may still be blocked on the console; end the process here.
  ExitProcess(0);
}
