// The host's error lines go through the platform's one-line log, which puts
// the program name in front.
#include "host/exit_status.h"

#include "platform/log.h"

namespace somnel::host {

void reportError(const std::string &message) { platform::log("%s", message.c_str()); }

ExitStatus fail(ExitStatus status, const std::string &message) {
    reportError(message);
    return status;
}

}  // namespace somnel::host
