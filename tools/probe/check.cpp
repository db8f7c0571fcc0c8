#include "check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/ascii.h"
#include "explain.h"
#include "file_system.h"
#include "play_through.h"
#include "verdict.h"

namespace tonvane {
namespace {

bool IsSoundFile(const std::string& name) { return HasExtension(name, ".wav") || HasExtension(name, ".mp3"); }

struct TFound {
  std::vector<std::string> Files;
  std::vector<std::string> Unreadable;  // folders
};

// Name order, byte by byte, folder by folder: the same order on every file system.
void Search(const std::string& folder, TFound& found) {
  auto entries = ListFolder(folder);
  if (!entries) {
    found.Unreadable.push_back(folder);
    return;
  }
  std::sort(entries->begin(), entries->end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == kPathSeparator);
  for (const TFolderEntry& entry : *entries) {
    const std::string path = separated ? folder + entry.Name : folder + kPathSeparator + entry.Name;
    if (entry.Folder) {
      if (entry.Name != kOriginalsFolder) Search(path, found);
    } else if (IsSoundFile(entry.Name)) {
      found.Files.push_back(path);
    }
  }
}

// m:ss.s, to the nearest tenth, of 16-bit mono samples.
std::string PlayTime(std::uint32_t bytes, std::uint32_t rate) {
  const auto tenths = static_cast<long long>(std::llround(bytes / 2 / (rate / 10.0)));
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths % 600 / 10, tenths % 10);
  return text;
}

// Names in the console's code page (file_system.h).
void Line(std::FILE* out, const std::string& text) {
  const std::string shown = ForConsole(text);
  std::fwrite(shown.data(), 1, shown.size(), out);
  std::fputc('\n', out);
}

// Mends a refused file in place (check.h); the line that says how it went.
std::string ReplaceFixed(const std::string& file, const TVerdict& verdict, std::int32_t deviceRate) {
  if (!HasExtension(FixedExtension(file, deviceRate), std::string(FileExtension(file))))
    return "not replaced: the fix writes a WAV file, which the cue list does not name";
  const std::size_t cut = file.find_last_of(std::string("/") + kPathSeparator);
  const std::string folder = cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? file : file.substr(cut + 1);
  const std::string originals = folder + kOriginalsFolder;
  const std::string original = originals + kPathSeparator + name;
  if (!MakeFolder(originals)) return "not replaced: " + originals + " cannot be made";
  if (IsFile(original)) return "not replaced: " + originals + " already holds a file of that name";
  if (!MoveFileTo(file, original)) return "not replaced: the file cannot be moved into " + originals;
  std::fflush(nullptr);
  const int status = std::system(Explain(original, verdict, deviceRate, file).Fix.c_str());
  if (status == 0 && IsFile(file)) return "replaced: the original is in " + originals;
  // Whatever the converter left goes, and the original comes back.
  if (IsFile(file)) DeleteFileAt(file);
  MoveFileTo(original, file);
  RemoveEmptyFolder(originals);
  return "not replaced: the fix failed (are sox and lame on the PATH?)";
}

}  // namespace

int CheckPaths(const std::vector<std::string>& paths, std::int32_t deviceRate, bool haveDecoder, bool fix,
               std::FILE* out) {
  int files = 0, play = 0, refused = 0, damaged = 0, unchecked = 0;
  bool unreadableFolder = false;
  TAudioStream stream;
  for (const std::string& path : paths) {
    TFound found;
    if (IsFolder(path)) {
      Search(path, found);
    } else {
      found.Files.push_back(path);
    }
    for (const std::string& folder : found.Unreadable) {
      Line(out, folder + ": NOT CHECKED: the folder cannot be read");
      unreadableFolder = true;
    }
    for (const std::string& file : found.Files) {
      ++files;
      WAVEFORMATEX format{};
      const TVerdict verdict = Judge(file, deviceRate, haveDecoder, stream, format);
      const TPlayThrough through =
          verdict.Kind == TVerdict::TKind::Plays
              ? PlayThrough(stream, HasExtension(file, ".mp3") ? file : std::string(), format.nAvgBytesPerSec)
              : TPlayThrough{};
      if (verdict.Kind == TVerdict::TKind::Plays && !through.Fault.empty()) {
        ++damaged;
        Line(out, file + ": DAMAGED: " + DescribePlayThrough(through, format.nAvgBytesPerSec));
      } else if (verdict.Kind == TVerdict::TKind::Plays) {
        ++play;
        Line(out, file + ": OK (" + PlayTime(stream.DataLength(), format.nSamplesPerSec) + ")");
      } else if (verdict.Kind == TVerdict::TKind::NotChecked) {
        ++unchecked;
        Line(out, file + ": NOT CHECKED: " + verdict.Message);
      } else {
        ++refused;
        const TExplanation why = Explain(file, verdict, deviceRate);
        Line(out, file + ": ERR: " + verdict.Message + " (" + why.Reason + ")");
        if (!why.Fix.empty()) Line(out, "  fix: " + why.Fix);
        if (!why.SplitLeft.empty()) {
          Line(out, "  split: " + why.SplitLeft);
          Line(out, "  split: " + why.SplitRight);
        }
        if (fix && !why.Fix.empty()) {
          stream.Close();  // the file is moved
          Line(out, "  " + ReplaceFixed(file, verdict, deviceRate));
        }
      }
      stream.Close();
      std::fflush(out);
    }
  }
  std::fprintf(out, "%d files: %d play, %d do not", files, play, refused);
  if (damaged > 0) std::fprintf(out, ", %d damaged", damaged);
  if (unchecked > 0) std::fprintf(out, ", %d not checked", unchecked);
  std::fprintf(out, "\n");
  return files > 0 && play == files && !unreadableFolder ? 0 : 1;
}

}  // namespace tonvane
