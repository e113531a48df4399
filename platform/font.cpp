// Installed fonts over the toolkit's font database and raw fonts: names
// matched against what is really installed, and glyph outlines.
#include "platform/font.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QPainterPath>
#include <QRawFont>

#include <cmath>
#include <unordered_map>
#include <vector>

namespace platform {

struct Font::Impl {
    QFont font;    // what was asked of the font database
    QRawFont raw;  // the face, at the record's size in pixels
    // Outlines already traced, by glyph index. Tracing a glyph runs the
    // face's hinting program every time, which made drawing a string cost
    // a hundred times what the painter's own text drawing does.
    std::unordered_map<quint32, QPainterPath> glyphPaths;
};

namespace {

// The three families' face names: plain, bold, italic, bold italic.
const char *const kFamilyNames[3][4] = {
    {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"},
    {"Georgia", "Georgia-Bold", "Georgia-Italic", "Georgia-BoldItalic"},
    {"Verdana", "Verdana-Bold", "Verdana-Italic", "Verdana-BoldItalic"},
};

// The installed families that stand in for them, in order of preference.
const char *const kStandIns[3][2] = {
    {"DejaVu Sans Mono", "Liberation Mono"},
    {"DejaVu Serif", "Liberation Serif"},
    {"DejaVu Sans", "Liberation Sans"},
};

// A name reduced for loose comparison: lower case, without blanks, dashes
// and underscores, "oblique" read as "italic".
QString squash(const QString &s) {
    QString out;
    for (QChar c : s)
        if (c != u' ' && c != u'-' && c != u'_') out += c.toLower();
    out.replace(QStringLiteral("oblique"), QStringLiteral("italic"));
    return out;
}

bool isPlainStyleWord(const QString &squashed) {
    static const char *const words[] = {"", "regular", "roman", "book", "medium", "normal", "plain"};
    for (const char *w : words)
        if (squashed == QLatin1String(w)) return true;
    return false;
}

std::shared_ptr<Font> makeFont(QFont f, float size) {
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setPixelSize(std::max(1, int(std::lround(size))));
    QRawFont raw = QRawFont::fromFont(f);
    if (!raw.isValid()) return nullptr;
    raw.setPixelSize(size);
    auto impl = std::make_unique<Font::Impl>();
    impl->font = f;
    impl->raw = raw;
    return std::make_shared<Font>(std::move(impl));
}

// The family the font database settles on for a name it does not know.
// NOTE: the database substitutes silently; this is how a miss is told.
const QString &substituteFamily() {
    static const QString family = QFontInfo(QFont(QStringLiteral("Somnel Font That Is Not Installed"))).family();
    return family;
}

// An installed family and style whose names, run together, make `name`
// ("DejaVuSans-Bold", "DejaVu Sans Mono", "LiberationSerif-Italic").
std::shared_ptr<Font> loadInstalled(const QString &name, float size) {
    const QString n = squash(name);
    const QStringList families = QFontDatabase::families();
    QString bestFamily, bestStyle;
    qsizetype bestLen = 0;
    for (const QString &family : families) {
        const QString sf = squash(family);
        if (sf.isEmpty() || !n.startsWith(sf) || sf.size() <= bestLen) continue;
        const QString rest = n.mid(sf.size());
        QString style;
        bool found = false;
        for (const QString &s : QFontDatabase::styles(family)) {
            if (squash(s) == rest) {
                style = s;
                found = true;
                break;
            }
        }
        if (!found && !isPlainStyleWord(rest)) continue;
        bestFamily = family;
        bestStyle = style;
        bestLen = sf.size();
    }
    if (bestFamily.isEmpty()) return nullptr;
    QFont f = bestStyle.isEmpty() ? QFont(bestFamily)
                                  : QFontDatabase::font(bestFamily, bestStyle, std::max(1, int(size)));
    if (bestStyle.isEmpty()) f.setStyleName(QString());
    return makeFont(f, size);
}

// A name the font configuration maps onto an installed family of its own
// ("Helvetica", "Times-Bold"): accepted when what was really matched is
// not the family every unknown name ends up with.
std::shared_ptr<Font> loadAlias(const QString &name, float size) {
    QString family = name;
    bool bold = false, italic = false;
    if (QFontDatabase::families().contains(name, Qt::CaseInsensitive)) return nullptr;
    const qsizetype dash = name.lastIndexOf(u'-');
    if (dash > 0) {
        QString style = squash(name.mid(dash + 1));
        family = name.left(dash);
        bold = style.contains(QStringLiteral("bold"));
        italic = style.contains(QStringLiteral("italic"));
        style.remove(QStringLiteral("bold"));
        style.remove(QStringLiteral("italic"));
        if (!isPlainStyleWord(style)) return nullptr;
    }
    if (family.trimmed().isEmpty()) return nullptr;
    QFont f(family);
    f.setBold(bold);
    f.setItalic(italic);
    const QString matched = QFontInfo(f).family();
    if (matched.isEmpty() || matched.compare(substituteFamily(), Qt::CaseInsensitive) == 0) return nullptr;
    return makeFont(f, size);
}

// The face standing in for one of the three families' face names.
std::shared_ptr<Font> loadFamilyFace(const QString &name, float size) {
    for (int kind = 0; kind < 3; kind++) {
        for (int face = 0; face < 4; face++) {
            if (name.compare(QLatin1String(kFamilyNames[kind][face]), Qt::CaseInsensitive) != 0) continue;
            const QStringList installed = QFontDatabase::families();
            for (const char *standIn : kStandIns[kind]) {
                if (!installed.contains(QLatin1String(standIn))) continue;
                QFont f{QString::fromLatin1(standIn)};
                f.setBold(face & 1);
                f.setItalic(face & 2);
                auto pf = makeFont(f, size);
                if (pf && pf->raw().familyName() == QLatin1String(standIn)) return pf;
            }
            return nullptr;
        }
    }
    return nullptr;
}

bool coversLatin1(const QRawFont &raw) {
    for (uint c = 0x20; c <= 0xFF; c++) {
        if (c >= 0x7F && c < 0xA0) continue;
        if (!raw.supportsCharacter(c)) return false;
    }
    return true;
}

}  // namespace

Font::Font(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
Font::~Font() = default;

const char *Font::familyFaceName(FontFamily family, bool bold, bool italic) {
    return kFamilyNames[int(family)][(bold ? 1 : 0) | (italic ? 2 : 0)];
}

// A face the font database hands back without a family name (for some
// names that are not valid UTF-8) is no match: such a name is a missing
// font, not a broken one.
std::shared_ptr<Font> Font::load(const std::string &utf8Name, float size, std::string *loadedName) {
    const QString name = QString::fromUtf8(utf8Name.data(), qsizetype(utf8Name.size()));
    if (loadedName) *loadedName = name.toUtf8().toStdString();
    if (name.trimmed().isEmpty() || !(size > 0)) return nullptr;
    auto named = [](std::shared_ptr<Font> pf) { return pf && !pf->raw().familyName().isEmpty() ? pf : nullptr; };
    if (auto pf = named(loadFamilyFace(name, size))) return pf;
    if (auto pf = named(loadInstalled(name, size))) return pf;
    return named(loadAlias(name, size));
}

std::shared_ptr<Font> Font::loadRandom(bool bold, bool italic, float size, uint32_t (*random)(), std::string *name) {
    struct Face {
        QString family, style;
    };
    std::vector<Face> faces;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        for (const QString &style : QFontDatabase::styles(family)) {
            // NOTE: the database's italic() says no to oblique faces.
            const QFont f = QFontDatabase::font(family, style, 12);
            if ((f.weight() >= QFont::DemiBold) == bold && (f.style() != QFont::StyleNormal) == italic)
                faces.push_back({family, style});
        }
    }
    const size_t n = faces.size();
    for (size_t i = 0; i < n; i++) {
        const Face &face = faces[random() % n];
        auto pf = makeFont(QFontDatabase::font(face.family, face.style, std::max(1, int(size))), size);
        // Font-configuration aliases ("Monospace") list another family's
        // faces: only real ones count.
        if (!pf || pf->raw().familyName() != face.family || !coversLatin1(pf->raw())) continue;
        QString style = face.style;
        style.remove(u' ');
        *name = (QString(face.family).remove(u' ') + u'-' + style).toUtf8().toStdString();
        return pf;
    }
    return nullptr;
}

bool Font::isValid() const { return d_->raw.isValid(); }
std::string Font::familyName() const { return d_->raw.familyName().toStdString(); }
double Font::ascent() const { return d_->raw.ascent(); }
double Font::descent() const { return d_->raw.descent(); }
const QRawFont &Font::raw() const { return d_->raw; }
const QFont &Font::font() const { return d_->font; }

Font::CharMetrics Font::charMetrics(unsigned char c) const {
    CharMetrics m;
    const QRawFont &raw = d_->raw;
    const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(char16_t(c))));
    if (glyphs.isEmpty()) return m;
    // Outline coordinates grow downwards; the metrics' upwards.
    const QRectF r = raw.pathForGlyph(glyphs[0]).boundingRect();
    m.hasGlyph = true;
    m.x = r.x();
    m.y = -r.bottom();
    m.width = r.width();
    m.height = r.height();
    const QList<QPointF> adv = raw.advancesForGlyphIndexes(glyphs);
    if (!adv.isEmpty()) m.advance = adv[0].x();
    return m;
}

// Each byte is its Latin-1 character, placed by the face's advances, as
// stringPath places their outlines.
QGlyphRun Font::stringGlyphs(const char *latin1, int length) const {
    const QRawFont &raw = d_->raw;
    const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromLatin1(latin1, length));
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    QPointF pen(0, 0);
    for (qsizetype i = 0; i < glyphs.size(); i++) {
        positions.append(pen);
        if (i < advances.size()) pen += advances[i];
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    return run;
}

// Each byte is its Latin-1 character, placed by the face's advances.
QPainterPath Font::stringPath(const char *latin1, int length) {
    QPainterPath path;
    const QRawFont &raw = d_->raw;
    const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromLatin1(latin1, length));
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    QPointF pen(0, 0);
    for (qsizetype i = 0; i < glyphs.size(); i++) {
        auto cached = d_->glyphPaths.find(glyphs[i]);
        if (cached == d_->glyphPaths.end()) cached = d_->glyphPaths.emplace(glyphs[i], raw.pathForGlyph(glyphs[i])).first;
        path.addPath(cached->second.translated(pen));
        if (i < advances.size()) pen += advances[i];
    }
    return path;
}

}  // namespace platform
