// The one way the program writes a file: whole or not at all.
//
// writeFileAtomically writes the bytes to a new file in the destination's
// folder, checks every write, flushes the file to the disk, renames it over
// the destination and flushes the folder. Any failure (a full disk, an I/O
// error, a read-only folder) removes the new file, leaves the old one as it
// was, and returns false with the reason in a few words, for the caller's
// one-line message. Qt-free: plain POSIX calls, every result checked.
#pragma once

#include "platform/export.h"

#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct AtomicWriteOptions {
    // A destination that is a symbolic link is refused by default (the
    // link is neither followed nor replaced). When set, the link is
    // followed to the file it names, which is then replaced, unless the
    // link lies in a folder that others may write to (sticky or not) and
    // belongs to someone else: the same rule the kernel applies to links
    // in shared sticky folders.
    bool followLink = false;
    // When set, a destination that is a FIFO, a character device or a
    // socket (a pipe, /dev/stdout) is written in place, every write
    // checked; otherwise it is refused. A rename would replace the node.
    bool streamsInPlace = false;
};

// Writes data to path as described above. A new file gets mode 0666 less
// the umask; a file replaced keeps its permission bits. On failure *why
// holds the reason ("No space left on device", "it is a symbolic link (not
// followed)", ...), never a second line.
SOMNEL_EXPORT bool writeFileAtomically(const std::string &path, std::string_view data, std::string *why,
                                       const AtomicWriteOptions &options = {});

// ------------------------------------------------------------ for tests

// The steps of a write, in order, for failures injected by tests.
enum class AtomicWriteStep { Create, Write, Sync, Close, Rename, SyncFolder };
// While set, the writer asks the function before each step; a non-zero
// errno it returns makes that step fail with that error, as the system
// would. An empty function ends the injection. Not for product code.
SOMNEL_EXPORT void setAtomicWriteFaultForTesting(std::function<int(AtomicWriteStep)> fault);

}  // namespace platform
