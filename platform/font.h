// Installed fonts for the 2D drawing: faces found by name, the three
// families a drawing program expects on every desktop mapped onto installed
// stand-ins, per-character outline metrics, and random faces. Qt-free.
#pragma once

#include "platform/export.h"

#include <cstdint>
#include <memory>
#include <string>

class QFont;
class QGlyphRun;
class QPainterPath;
class QRawFont;

namespace platform {

// The three families every desktop is expected to have.
enum class FontFamily { Fixed = 0, Serif = 1, Sans = 2 };

// A face at one size, in pixels. Shared by every record loaded from it.
class SOMNEL_EXPORT Font {
public:
    // An installed face by name: one of the three families' face names
    // ("Courier-Bold"), a family and style run together ("DejaVuSans-Bold",
    // "DejaVu Sans Mono"), or a name the font configuration maps onto a
    // family of its own ("Helvetica"). Null when nothing installed is named
    // so (the toolkit's silent substitutes do not count). *loadedName, when
    // given, receives the name as the font database read it (UTF-8).
    static std::shared_ptr<Font> load(const std::string &name, float size, std::string *loadedName = nullptr);
    // The face name of one of the three families: "Courier", "Georgia-Bold".
    static const char *familyFaceName(FontFamily family, bool bold, bool italic);
    // One installed face with the asked traits that covers Latin-1, picked
    // with random() (as many tries as there are candidates); *name gets its
    // family and style run together. Null when none is found.
    static std::shared_ptr<Font> loadRandom(bool bold, bool italic, float size, uint32_t (*random)(),
                                            std::string *name);

    // Made by the loaders above (Impl is theirs alone).
    struct Impl;
    explicit Font(std::unique_ptr<Impl> impl);
    ~Font();

    bool isValid() const;
    std::string familyName() const;
    // The face's extent above and below the baseline, in pixels.
    double ascent() const;
    double descent() const;

    // The outline box (y up from the baseline) and advance of a Latin-1
    // character; a character the face lacks has its "missing" glyph's.
    struct CharMetrics {
        bool hasGlyph = false;
        double x = 0, y = 0, width = 0, height = 0;
        double advance = 0;
    };
    CharMetrics charMetrics(unsigned char c) const;

    // The toolkit's face, for Qt-facing code and tests.
    const QRawFont &raw() const;
    const QFont &font() const;

private:
    friend class Painter2D;
    // The outline of Latin-1 text, baseline at the origin, y down.
    QPainterPath stringPath(const char *latin1, int length);
    // The same text as the face's glyphs at their pen positions (baseline
    // at the origin, y down), for the painter's glyph cache.
    QGlyphRun stringGlyphs(const char *latin1, int length) const;
    std::unique_ptr<Impl> d_;
};

}  // namespace platform
