#include "verdict.h"

#include "base/ascii.h"
#include "base/exception.h"
#include "base/file_exists.h"
#include "commands/format_check.h"
#include "file_system.h"

namespace tonvane {

bool LoadDecoderNearProgram() {
  std::string folder = ProgramDirectory();
  for (int up = 0; up < 2 && !folder.empty(); ++up) {
    const std::string library = folder + TMp3Reader::LibraryName();
    if (FileExists(library) && TMp3Reader::LoadDecoder(library)) return true;
    // The folder above: cut the last name and keep its separator.
    const std::size_t separator =
        folder.size() < 2 ? std::string::npos : folder.find_last_of("\\/", folder.size() - 2);
    folder = separator == std::string::npos ? std::string() : folder.substr(0, separator + 1);
  }
  return false;
}

TVerdict Judge(const std::string& fileName, std::int32_t deviceRate, bool haveDecoder, TAudioStream& stream,
               WAVEFORMATEX& format) {
  format = {};
  try {
    CheckPlayFileExists(fileName);
  } catch (const Exception& fault) {
    return {TVerdict::TKind::Refused, fault.what(), false};
  }
  if (HasExtension(fileName, ".mp3") && !haveDecoder)
    return {TVerdict::TKind::NotChecked,
            std::string(TMp3Reader::LibraryName()) +
                " was found neither beside the probe nor in the folder above",
            false};
  const bool opened = stream.Open(fileName, format);
  try {
    CheckOpenedForPlay(opened, format, deviceRate);
  } catch (const Exception& fault) {
    return {TVerdict::TKind::Refused, fault.what(), opened};
  }
  return {TVerdict::TKind::Plays, "", true};
}

}  // namespace tonvane
