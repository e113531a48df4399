// Choosing the display platform before the toolkit starts.
#include "host/display.h"

#include "host/exit_status.h"

#include "platform/desktop.h"

#include <QString>
#include <QtGlobal>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace somnel::host {

namespace {

std::string env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

// The toolkit's warnings held back while the application object is made.
QtMessageHandler previousHandler = nullptr;
struct Held {
    QtMsgType type;
    std::string category, text;
};
std::vector<Held> heldBack;

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type == QtFatalMsg) {
        // NOTE: the toolkit aborts once this returns. When no plug-in
        // started, the reason a plug-in gave first ("could not connect to
        // display ...") says more than the closing words.
        std::string why = message.section('\n', 0, 0).toStdString();
        if (message.startsWith("This application failed to start"))
            for (const Held &m : heldBack)
                if (m.type == QtWarningMsg && !m.text.empty()) {
                    why = m.text;
                    break;
                }
        reportError("cannot start the display platform: " + why);
        fflush(stderr);
        _exit(exitCode(ExitStatus::Failure));
    }
    heldBack.push_back({type, context.category ? context.category : "", message.toStdString()});
}

}  // namespace

bool chooseDisplayPlatform(bool showsWindows, DisplayChoice *choice, std::string *error) {
    const bool named = !env("QT_QPA_PLATFORM").empty() || !env("WAYLAND_DISPLAY").empty() ||
                       env("XDG_SESSION_TYPE") == "wayland" || !env("DISPLAY").empty();
    platform::DisplayPlatform chosen;
    std::string why;
    if (named && platform::chooseDisplayPlatform(&chosen, &why)) {
        choice->platform = chosen.entry.substr(0, chosen.entry.find(':'));
        choice->passedOver = chosen.passedOver;
        // The toolkit tries only this one: no warnings about the others.
        setenv("QT_QPA_PLATFORM", chosen.entry.c_str(), 1);
        return true;
    }
    if (!showsWindows) {
        // Everything but the windows works without a display.
        choice->platform = "offscreen";
        choice->passedOver = why;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return true;
    }
    *error = named ? "cannot open a display: " + why
                   : "no display to show a window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "try \"somnel render\"";
    return false;
}

PlatformStartGuard::PlatformStartGuard() {
    heldBack.clear();
    previousHandler = qInstallMessageHandler(holdBack);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previousHandler);
    for (const Held &m : heldBack) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
        qt_message_output(m.type, context, QString::fromStdString(m.text));
    }
    heldBack.clear();
}

}  // namespace somnel::host
