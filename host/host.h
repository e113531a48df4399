// The somnel host: finds saver bundles and runs their principal views.
#pragma once

#include "host/exit_status.h"

#include "platform/geometry.h"
#include "platform/bundle.h"
#include "platform/view.h"

#include <memory>
#include <string>
#include <vector>

class QImage;
class QWidget;
class QWindow;

namespace somnel::host {

// The value after the option at argv[*i] ("--size 10x10"), moving *i onto
// it; null with "OPTION needs WHAT" when the command line ends first.
inline const char *optionValue(int argc, char **argv, int *i, const char *what, std::string *error) {
    if (*i + 1 >= argc) {
        *error = std::string(argv[*i]) + " needs " + what;
        return nullptr;
    }
    return argv[++*i];
}

// The folders searched for Name.saver bundles, in order: $SOMNEL_SAVER_PATH
// (colon-separated), the build tree (for the program built there), the
// user's data folder, the installed bundles beside the program.
std::vector<std::string> saverSearchPath();

// The bundle folder for a saver given by name ("Drizzle") or by path
// ("./build/savers/Drizzle.saver"); empty with a reason when there is none.
std::string findSaver(const std::string &nameOrPath, std::string *error);

// Every bundle on the search path (first one of each name).
std::vector<std::string> listSavers();

// A loaded bundle and its principal view. The view goes first: its code
// lives in the bundle.
struct LoadedSaver {
    std::shared_ptr<platform::Bundle> bundle;
    std::unique_ptr<platform::ScreenSaverView> view;
};

// Opens the bundle and creates its principal view with the creation
// arguments (frame, preview flag, random seed). Returns false with a
// one-line reason on failure.
bool loadSaver(const std::string &nameOrPath, const platform::ViewCreateArgs &args, LoadedSaver *out,
               std::string *error);

// Shows the saver's configuration sheet as a dialog: Ok after OK,
// Cancelled after Cancel. A saver that cannot be loaded is Unavailable, a
// description the sheet cannot be built from Software, each with one line
// on standard error.
ExitStatus configure(const std::string &saverNameOrPath);

// Opens the view's sheet over frame, window-modal; a sheet that cannot be
// built is reported in a message box instead. After OK the saver is
// stopped and started again, so that its next run reads the new values.
void openOptions(QWidget *frame, platform::ScreenSaverView *view);

// A window holding the preview's saver window, with an "Options…" button
// under it that opens the saver's sheet.
QWidget *makePreviewFrame(QWindow *window, platform::ScreenSaverView *view, int width, int height);

// Writes the image as a PNG file at path (quality as QImage::save takes
// it), reporting any failed write (a full disk included) with a one-line
// reason; a regular file is replaced only once the whole picture is on disk.
bool writePicture(const QImage &image, const std::string &path, int quality, std::string *error);

}  // namespace somnel::host
