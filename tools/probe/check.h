#pragma once

// tonvane-probe --check: a show's sound files judged as the plug-in will judge them,
// one line each, for a technician before the show.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tonvane {

// Judges every path: a file as it is named, a folder by its .wav and .mp3 files
// (any case), its subfolders' too, in name order. Prints per file
//   <path>: OK (<m:ss.s>)
//   <path>: ERR: <the play command's message> (<why, in plain words>)
//     fix: <a converter's command>              (when a converter mends it)
//   <path>: DAMAGED: plays <s> s of <s> s: <why>  (opens, but not all of it plays)
//   <path>: NOT CHECKED: <why>                   (the probe cannot tell)
// then "<N> files: <K> play, <M> do not", with ", <D> damaged" and ", <U> not
// checked" when there are some. Every file that opens is read to its end as a Play
// would read it. The exit status: 0 only when every file plays cleanly.
//
// With fix, a refused file that a converter mends is mended in place: the original
// moves into kOriginalsFolder beside it, the fix writes the file's own name from
// there, and a line says so:
//   replaced: the original is in <folder>
//   not replaced: <why>                          (the original stays where it was)
// The counts are those of the files as found; a second check counts the mended ones.
// Folders of that name are never searched: the originals are not the show's files.
int CheckPaths(const std::vector<std::string>& paths, std::int32_t deviceRate, bool haveDecoder, bool fix,
               std::FILE* out);

inline constexpr char kOriginalsFolder[] = "tonvane-originals";

}  // namespace tonvane
