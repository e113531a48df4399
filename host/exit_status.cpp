// The host's error lines go through the platform's one-line log, which puts
// the program name in front.
#include "host/exit_status.h"

#include "platform/log.h"

namespace somnel::host {

// Escaped before it is a C string: a NUL from a file must not cut it.
void reportError(const std::string &message) { platform::log("%s", platform::printableText(message).c_str()); }

ExitStatus fail(ExitStatus status, const std::string &message) {
    reportError(message);
    return status;
}

}  // namespace somnel::host
