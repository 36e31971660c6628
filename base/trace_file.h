#pragma once

#include "file_result.h"

#include <string>
#include <vector>

namespace ostrel::base {

// A file the run reads or writes besides its trace, and what it is, for messages:
// {"~/journal.sqlite", "le journal"}.
struct FileInUse {
    std::string path;
    std::string what;
};

// Opens the file a trace is written to, given by name on a command line, where a slip of the
// keyboard must cost nothing:
// - a name that does not exist yet is created, readable and writable by its owner only;
// - an existing file is taken only when it is a regular file of the user's that nobody else
//   may read or write (others could hold it open and read the cards and codes traced), and is
//   empty or starts as a trace does; it is appended to, or emptied first when overwrite is set;
// - a symbolic link, a FIFO, a device, a folder is refused, without waiting for a FIFO's
//   reader; the standard error named by one of its names (/dev/stderr) is the standard error;
// - a file of inUse, by name or by being the same file (device and inode), is refused.
// On success fd is the open descriptor, without O_NONBLOCK, for writing only; the caller closes
// it. A name this call created is removed again when it refuses it.
FileResult OpenTraceFile(const std::string& path, bool overwrite,
                         const std::vector<FileInUse>& inUse, int& fd);

} // namespace ostrel::base
