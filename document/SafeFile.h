#pragma once
// Replacing a file's contents so that a failure never destroys what was there:
// the new contents go to a temporary file in the same folder, are flushed to
// the device, and only then take the old file's place in one rename.
#include <string>
#include <string_view>

namespace zop {

// Creates or replaces the file at `path` with `bytes`. A symbolic link is
// followed, and a replaced file keeps its permissions. A file that exists but
// may not be written is refused like a direct write would be; a device or a
// pipe is written in place. On failure the temporary file is removed, the old
// file is untouched, and a FileError carries the platform's message.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

} // namespace zop
