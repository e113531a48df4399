// Builders for the text-shaped parts of a description: the saver's
// description with its links and bold lead, text fields, file selectors,
// and the fixed "Display Text" and image-source controls.
#include "framework/sheet/sheet_widgets.h"

#include "platform/log.h"
#include "framework/sheet/view_frame.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "framework/sheet/somnel_config_sheet.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using platform::Rect;
using platform::Value;
using somnel::sheet::frame;
using somnel::sheet::setFrame;
using somnel::sheet::setFrameOrigin;
using somnel::sheet::setFrameSize;

const char *const SomnelConfigSheet::kGeneralEncyclopediaBase = "http://en.wikipedia.org/wiki/";
const char *const SomnelConfigSheet::kMathEncyclopediaBase = "http://mathworld.wolfram.com/";

namespace {

std::string get(const std::map<std::string, std::string> &d, const char *key) {
    auto it = d.find(key);
    return it == d.end() ? std::string() : it->second;
}

bool startsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A synthetic element, as the fixed boxes feed them to the ordinary builders.
std::unique_ptr<SimpleXMLNode> element(const char *name,
                                       const std::vector<std::pair<std::string, std::string>> &attrs) {
    auto node = std::make_unique<SimpleXMLNode>(name);
    node->setAttributesAsDictionary(attrs);
    return node;
}

}  // namespace

// ------------------------------------------------------------- description

std::string SomnelConfigSheet::reflowDescription(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    while (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());

    std::string out = "\n";
    bool afterBreak = true, haveText = false;
    for (const std::string &line : lines) {
        if (line.empty()) {
            out += "\n\n";
            afterBreak = true;
            continue;
        }
        if (line[0] == ' ' || startsWith(line, "Copyright ") || startsWith(line, "http://")) {
            if (haveText && !afterBreak) out += "\n";
        } else if (!afterBreak) {
            out += " ";
        }
        out += line;
        haveText = true;
        afterBreak = false;
    }
    return out;
}

std::string SomnelConfigSheet::linkAnchor(const std::string &url) {
    if (startsWith(url, kGeneralEncyclopediaBase)) {
        const std::string rest = url.substr(strlen(kGeneralEncyclopediaBase));
        std::string title;
        for (size_t i = 0; i < rest.size(); ++i) {
            const char c = rest[i];
            if (c == '_') {
                title += ' ';
            } else if (c == '#') {
                title += ": ";
            } else if (c == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 &&
                       hexDigit(rest[i + 2]) >= 0) {
                title += char(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
                i += 2;
            } else {
                title += c;  // a "%" without two hex digits after it stays as written
            }
        }
        return "Wikipedia: \"" + title + "\"";
    }
    if (startsWith(url, kMathEncyclopediaBase)) {
        std::string rest = url.substr(strlen(kMathEncyclopediaBase));
        const size_t htm = rest.find(".htm");
        if (htm != std::string::npos) rest.resize(htm);
        std::string title;
        for (size_t i = 0; i < rest.size(); ++i) {
            const char c = rest[i];
            if (c == '_') {
                title += ' ';
                continue;
            }
            if (c >= 'A' && c <= 'Z' && i > 0) title += ' ';
            title += c;
        }
        return "MathWorld: \"" + title + "\"";
    }
    return url;
}

void SomnelConfigSheet::makeDescLabel(const SimpleXMLNode *node, QWidget *parent) {
    std::string text;
    if (node->children())
        for (const SimpleXMLNode *child : *node->children()) text += child->objectValue();
    const std::string result = reflowDescription(text);

    auto *view = new somnel::sheet::DescriptionView;
    setFrame(view, Rect::make(0, 0, 200, 50));
    QTextDocument *doc = view->document();
    doc->setPlainText(QString::fromStdString(result));

    // Links: each "http://" up to the next white space becomes an anchor.
    QString plain = doc->toPlainText();
    qsizetype from = 0;
    for (;;) {
        const qsizetype p = plain.indexOf(QLatin1String("http://"), from);
        if (p < 0) break;
        qsizetype end = p + 7;
        while (end < plain.size() && !plain[end].isSpace()) ++end;
        const QString url = plain.mid(p, end - p);
        const QString anchor = QString::fromUtf8(QByteArray::fromStdString(linkAnchor(url.toStdString())));
        QTextCursor c(doc);
        c.setPosition(int(p));
        c.setPosition(int(end), QTextCursor::KeepAnchor);
        QTextCharFormat link = c.charFormat();
        link.setAnchor(true);
        link.setAnchorHref(url);
        link.setFontUnderline(true);
        link.setForeground(view->palette().brush(QPalette::Link));
        c.insertText(anchor, link);
        plain = doc->toPlainText();
        from = p + anchor.size();
    }

    // The lead, through the first comma, in bold. Without a comma there is
    // no lead to set off.
    const qsizetype comma = plain.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        QTextCursor c(doc);
        c.setPosition(0);
        c.setPosition(int(comma + 1), QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        c.mergeCharFormat(bold);
    }
    somnel::sheet::sizeToFit(view);
    placeChild(view, parent);
}

// ------------------------------------------------------------- text fields

void SomnelConfigSheet::makeTextField(const SimpleXMLNode *node, QWidget *parent, bool withLabel, bool) {
    std::map<std::string, std::string> dict{{"id", ""}, {"_label", ""}, {"arg", ""}};
    parseAttrs(dict, node);
    const std::string label = get(dict, "_label");
    SOMNEL_ASSERT(!withLabel || !label.empty(), "no _label in %s", node->name().c_str());
    SOMNEL_ASSERT(dict.count("arg"), "no arg in %s", label.c_str());

    auto *field = new somnel::sheet::TextField;
    setFrame(field, Rect::make(0, 0, 10, 10));
    field->setText(QStringLiteral("123456789 123456789 123456789 "));
    field->sizeToFit();
    field->setText(QString());
    if (!label.empty()) {
        placeChild(makeLabel(label), parent);
        placeChild(field, parent, true);
    } else {
        placeChild(field, parent);
    }
    bindSwitch(field, dict["arg"]);
}

void SomnelConfigSheet::makeFileSelector(const SimpleXMLNode *node, QWidget *parent, bool dirsOnly, bool withLabel,
                                         bool editable) {
    std::map<std::string, std::string> dict{{"id", ""}, {"_label", ""}, {"arg", ""}};
    parseAttrs(dict, node);
    const std::string label = get(dict, "_label");
    SOMNEL_ASSERT(!withLabel || !label.empty(), "no _label in %s", node->name().c_str());
    SOMNEL_ASSERT(dict.count("arg"), "no arg in %s", label.c_str());

    auto *field = new somnel::sheet::TextField;
    setFrame(field, Rect::make(0, 0, 10, 10));
    field->setText(QStringLiteral("123456789 123456789 "));
    field->sizeToFit();
    field->setReadOnly(!editable);
    field->setFrame(editable);
    if (!editable) {
        QPalette pal = field->palette();
        pal.setColor(QPalette::Base, Qt::transparent);
        field->setPalette(pal);
    }
    field->setText(QString());

    QLabel *l = nullptr;
    if (!label.empty()) {
        l = makeLabel(label);
        placeChild(l, parent);
        placeChild(field, parent, true);
    } else {
        placeChild(field, parent);
    }
    bindSwitch(field, dict["arg"]);
    if (l) setFrameSize(field, {frame(field).size.width, std::max(frame(l).size.height, frame(field).size.height)});

    auto *choose = new QPushButton(QStringLiteral("Choose..."));
    choose->setAutoDefault(false);
    setFrame(choose, Rect::make(0, 0, 10, 10));
    somnel::sheet::sizeToFit(choose);
    placeChild(choose, parent, true);
    const Rect ff = frame(field), bf = frame(choose);
    setFrameOrigin(choose, {bf.origin.x, ff.origin.y + (ff.size.height - bf.size.height) / 2});
    QObject::connect(choose, &QPushButton::clicked, this, [this, choose, dirsOnly] {
        if (dirsOnly)
            fileSelectorChooseDirsAction(choose);
        else
            fileSelectorChooseAction(choose);
    });
}

void SomnelConfigSheet::fileSelectorChooseAction(QAbstractButton *sender) {
    do_file_selector(find_text_field_of_button(sender), false);
}

void SomnelConfigSheet::fileSelectorChooseDirsAction(QAbstractButton *sender) {
    do_file_selector(find_text_field_of_button(sender), true);
}

// The path field of a "Choose..." button: the last field placed before it.
QLineEdit *SomnelConfigSheet::find_text_field_of_button(QAbstractButton *button) {
    QLineEdit *last = nullptr;
    if (QWidget *parent = button->parentWidget())
        for (QWidget *v : somnel::sheet::subviews(parent)) {
            if (v == button) {
                if (!last) break;
                return last;
            }
            if (auto *f = dynamic_cast<QLineEdit *>(v)) last = f;
        }
    platform::raiseInconsistency("abort in %s:%d", "find_text_field_of_button", __LINE__);
}

std::string SomnelConfigSheet::abbreviateWithTilde(const std::string &path) {
    const QString p = QString::fromStdString(path);
    QStringList homes{QDir::homePath(), QDir::cleanPath(QString::fromLocal8Bit(qgetenv("HOME"))),
                      QFileInfo(QDir::homePath()).canonicalFilePath()};
    for (const QString &home : homes) {
        if (home.isEmpty() || home == QLatin1String("/")) continue;
        if (p == home) return "~";
        if (p.startsWith(home + '/')) return ("~" + p.mid(home.size())).toStdString();
    }
    return path;
}

void SomnelConfigSheet::do_file_selector(QLineEdit *field, bool dirs) {
    QString start = field->text();
    if (start.startsWith('~')) start = QDir::homePath() + start.mid(1);
    if (start.isEmpty()) start = dirs ? QDir::homePath() + QStringLiteral("/Pictures") : QDir::homePath();

    QFileDialog panel(this);
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setFileMode(dirs ? QFileDialog::Directory : QFileDialog::ExistingFile);
    panel.setOption(QFileDialog::ShowDirsOnly, dirs);
    panel.setDirectory(start);
    if (panel.exec() != QDialog::Accepted) return;
    const QStringList chosen = panel.selectedFiles();
    const std::string path = abbreviateWithTilde(chosen.isEmpty() ? std::string() : chosen.first().toStdString());
    field->setText(QString::fromStdString(path));
    // Text set in code does not pass through the binding: store it as an edit.
    storeForControl(field, Value(path));
}

// ------------------------------------------------------------ fixed boxes

void SomnelConfigSheet::makeTextLoaderControlBox(const SimpleXMLNode *, QWidget *parent) {
    QWidget *group = somnel::sheet::makeView(Rect::make(0, 0, 1, 1));
    QWidget *column = somnel::sheet::makeView(Rect::make(0, 0, 1, 1));
    std::unique_ptr<QWidget> holdGroup(group);

    auto *matrix = new somnel::sheet::RadioMatrix({QStringLiteral("Computer name and time"), QStringLiteral("Text"),
                                               QStringLiteral("File"), QStringLiteral("URL"),
                                               QStringLiteral("Shell Cmd")});
    setFrame(matrix, Rect::make(0, 0, 10, 10));
    // Both go into the group held above before anything can raise: a
    // binding that fails must not leave them behind.
    placeChild(matrix, group);
    placeChild(column, group, true);
    bindSwitch(matrix, "-text-mode %");

    makeTextField(element("string", {{"id", "textLiteral"}, {"arg", "-text-literal %"}}).get(), column, false, false);
    makeFileSelector(element("string", {{"id", "textFile"}, {"arg", "-text-file %"}}).get(), column, false, false,
                     false);
    makeTextField(element("string", {{"id", "textURL"}, {"arg", "-text-url %"}}).get(), column, false, false);
    makeTextField(element("string", {{"id", "textProgram"}, {"arg", "-text-program %"}}).get(), column, false,
                  false);

    layout_group(column, false);
    setFrameSize(column, {frame(column).size.width + 35, frame(column).size.height});
    const double lastHeight = frame(last_child(column)).size.height;
    matrix->setCellSize({55, lastHeight + 10});
    matrix->sizeToCells();
    layout_group(group, true);
    const Rect mf = frame(matrix);
    setFrameOrigin(column, {mf.origin.x + mf.size.width + 10, mf.origin.y - (lastHeight - 10)});
    matrix->setCellSize({300, matrix->cellSize().height});
    matrix->sizeToCells();
    Rect cf = frame(column);
    setFrameOrigin(column, {cf.origin.x, cf.origin.y - 5});
    cf = frame(column);

    auto *box = new somnel::sheet::Box(Rect::make(cf.origin.x, cf.origin.y, 0, 0), QStringLiteral("Display Text"),
                                   somnel::sheet::Box::BezelBorder, 12, 12);
    box->setContentView(holdGroup.release());
    box->sizeToFit();
    placeChild(box, parent);
}

void SomnelConfigSheet::makeImageLoaderControlBox(const SimpleXMLNode *, QWidget *parent) {
    makeCheckbox(element("boolean", {{"id", "grabDesktopImages"},
                                     {"_label", "Grab desktop images"},
                                     {"arg-unset", "-no-grab-desktop"}})
                     .get(),
                 parent);
    makeCheckbox(element("boolean", {{"id", "chooseRandomImages"},
                                     {"_label", "Choose random images"},
                                     {"arg-set", "-choose-random-images"}})
                     .get(),
                 parent);
    makeFileSelector(
        element("string", {{"id", "imageDirectory"}, {"_label", "Images from:"}, {"arg", "-image-directory %"}})
            .get(),
        parent, true, true, true);
    QLabel *note = makeLabel("(Local folder, or URL of RSS or Atom feed)");
    placeChild(note, parent);
    const Rect nf = frame(note);
    setFrameOrigin(note, {nf.origin.x + 20, nf.origin.y + 14});
}
