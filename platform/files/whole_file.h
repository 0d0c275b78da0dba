// Whole files: read at once with a size limit, and replaced atomically.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovra {

// Replaces the file at path with bytes through a temporary file in the same folder, so the old
// file stays whole when anything fails. False when the data could not be written. Temporary
// files an interrupted earlier write left beside path are removed first. Without sync the data
// is not forced to the disk: it survives the program's end, however it ends, but not a power
// failure; that suits files rewritten every second.
enum class Durability { Synced, Unsynced };
bool WriteFileAtomically(const std::string& path, std::string_view bytes, Durability durability = Durability::Synced);

// Removes the temporary files ("<path>.XXXXXX") that interrupted writes of path left behind.
void RemoveStaleTemporaries(const std::string& path);

// 0 when a file can be made in folder now; otherwise the errno that refused it (to say why).
int FolderWriteError(const std::string& folder);

enum class ReadFileResult { Ok, CannotOpen, TooLarge };
// Reads a whole file, refusing more than maxBytes.
ReadFileResult ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

}  // namespace tovra
