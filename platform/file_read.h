// Reading small files that a user or an attacker may have replaced with
// something else: a FIFO (an open would wait for a writer for ever), a
// device or a link to one (/dev/zero never ends), or a huge file.
#pragma once

#include "platform/export.h"

#include <cstddef>
#include <string>

namespace platform {

enum class FileRead {
    Ok,          // *data holds the whole file
    Missing,     // nothing by that name (not even a link)
    NotRegular,  // a FIFO, device, socket or folder: not opened for reading
    TooLarge,    // more than maxBytes: treat like a damaged file
    Unreadable,  // there but could not be read (permissions, a dangling or
                 // looping link, an I/O error): the file is intact as far
                 // as anyone knows
};

// Reads the whole regular file at path (links followed), at most maxBytes.
// Never blocks on a FIFO. On anything but Ok, *why says what is wrong in a
// few words fit for a log line.
SOMNEL_EXPORT FileRead readRegularFile(const std::string &path, std::size_t maxBytes, std::string *data, std::string *why);

}  // namespace platform
