// Writing the rendered picture so that a failed write is an error, never a
// half-written file reported as done.
#include "host/host.h"

#include "platform/atomic_file.h"

#include <QBuffer>
#include <QImage>

namespace somnel::host {

bool writePicture(const QImage &image, const std::string &path, int quality, std::string *error) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG", quality)) {
        *error = "could not encode the picture for \"" + path + "\"";
        return false;
    }
    // A complete new file renamed over the old one: a full disk or a lost
    // write leaves the old picture as it was. A pipe or device (/dev/stdout)
    // is written in place; a link is not followed.
    platform::AtomicWriteOptions options;
    options.streamsInPlace = true;
    std::string why;
    if (!platform::writeFileAtomically(path, std::string_view(png.constData(), size_t(png.size())), &why, options)) {
        *error = "could not write \"" + path + "\": " + why;
        return false;
    }
    return true;
}

}  // namespace somnel::host
