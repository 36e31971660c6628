#pragma once

#include "file_result.h"

#include <string>
#include <string_view>

namespace ostrel::base {

// Replaces the contents of path with bytes, so that a crash leaves either the old contents or
// the new, never half of them:
// - the new contents go to a temporary file beside the target, are flushed to disk, and the
//   temporary file is renamed over the target; the folder is flushed too;
// - a symbolic link is followed: the file it points to is replaced and the link stays;
// - an existing file keeps its permissions and, where the process may, its owner; a new one
//   gets 0666 less the umask;
// - a file with several hard links is rewritten in place, as a rename would give the other
//   names the old contents; but only once nothing can be lost: the room for the new contents is
//   reserved in the target first, and the whole of them is written to a temporary file and
//   flushed, before the target's first byte changes (a full disk refuses the save then, the
//   target unchanged). Should the copy still fail part-way, the temporary file is kept, the
//   error names it, and targetChanged is set;
// - a target that is not a regular file, a file without any write permission, or one the
//   process may not write is refused before anything is written;
// - temporary files that saves into the same folder left when their process died are removed.
// On failure the target is unchanged and no temporary file is left, but for the case above.
FileResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// Checks, without writing, that WriteFileAtomically(path, ...) would be allowed to replace
// path: a regular file that may be written, or a name that does not exist yet in a folder.
FileResult CheckReplaceable(const std::string& path);

// The file a chain of symbolic links ends at (the path itself when it is no link); it need not
// exist yet. False with errno's value in error for an unreadable link or a loop.
bool FollowLinks(const std::string& path, std::string& resolved, int& error);

// The temporary files of this host's saves of target: ".NAME.ostrel-tmp-HOST-PID-XXXXXX" beside
// it.
std::string TemporaryPrefix(const std::string& fileName);

} // namespace ostrel::base
