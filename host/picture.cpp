// Writing the rendered picture so that a failed write is an error, never a
// half-written file reported as done.
#include "host/host.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace somnel::host {

bool writePicture(const QImage &image, const std::string &path, int quality, std::string *error) {
    const QString name = QString::fromStdString(path);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG", quality)) {
        *error = "could not encode the picture for \"" + path + "\"";
        return false;
    }
    auto failed = [&](const QString &why) {
        *error = "could not write \"" + path + "\": " + why.toStdString();
        return false;
    };
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return failed("it is a folder");
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // NOTE: a device or FIFO (/dev/stdout, a pipe) is written in place:
        // a save file would be renamed over the node itself. Qt buffers the
        // bytes, so the real write, and its error, come at the flush.
        QFile out(name);
        if (!out.open(QIODevice::WriteOnly)) return failed(out.errorString());
        if (out.write(png) != png.size() || !out.flush()) return failed(out.errorString());
        out.close();
        if (out.error() != QFileDevice::NoError) return failed(out.errorString());
        return true;
    }
    // A complete new file renamed over the old one: a full disk or a lost
    // write leaves the old picture as it was.
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write(png) != png.size() || !out.commit())
        return failed(out.errorString());
    return true;
}

}  // namespace somnel::host
