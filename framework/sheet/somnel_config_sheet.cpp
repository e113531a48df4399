// The configuration sheet: reading the description, the walk over its tree,
// placement, the final assembly with the button bar, and the bindings
// between controls and the preference reader's editing controller.
#include "framework/sheet/sheet_widgets.h"

#include "platform/file_read.h"
#include "platform/log.h"
#include "framework/sheet/view_frame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include "framework/sheet/somnel_config_sheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using platform::Rect;
using platform::Value;
using somnel::sheet::frame;
using somnel::sheet::setFrame;
using somnel::sheet::setFrameOrigin;
using somnel::sheet::setFrameSize;
using somnel::sheet::subviews;

namespace {

// Sets a flag for the life of a scope, clearing it even when a builder raises.
struct FlagScope {
    bool &flag;
    explicit FlagScope(bool &f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

// Whether two bound values stand for the same thing: the same value, or
// the same number (booleans count as 0 and 1), or a text that reads
// wholly as that number.
bool sameObject(const Value &a, const Value &b) {
    if (a == b) return true;
    auto number = [](const Value &v, double *out) {
        if (platform::isNumber(v)) {
            *out = platform::doubleValue(v);
            return true;
        }
        if (auto s = std::get_if<std::string>(&v)) {
            // '.' is the decimal point whatever the locale.
            const char *begin = s->data(), *end = s->data() + s->size();
            while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
            while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
            double d = 0;
            auto r = std::from_chars(begin, end, d);
            if (begin == end || r.ec != std::errc() || r.ptr != end) return false;
            *out = d;
            return true;
        }
        return false;
    };
    double x, y;
    if (platform::isString(a) && platform::isString(b)) return false;
    return number(a, &x) && number(b, &y) && x == y;
}

bool truthy(const Value &v) {
    if (platform::isNumber(v)) return platform::doubleValue(v) != 0;
    if (auto s = std::get_if<std::string>(&v)) {
        QString t = QString::fromStdString(*s).trimmed().toLower();
        return t == "true" || t == "yes" || t == "1";
    }
    return false;
}

}  // namespace

// ------------------------------------------------------------------ creation

SomnelConfigSheet::SomnelConfigSheet(const XrmOptionDescRec *o,
                                     std::shared_ptr<platform::UserDefaultsController> controller,
                                     const platform::ValueMap *defaults)
    : userDefaultsController_(std::move(controller)) {
    // The view hands over its preference reader's controller and defaults;
    // a sheet without them has nothing to edit.
    SOMNEL_ASSERT(userDefaultsController_, "userDefaultsController uninitialized");
    SOMNEL_ASSERT(defaults, "defaultOptions uninitialized");
    SOMNEL_ASSERT(o, "no option table for the sheet");
    ownDefaults_ = *defaults;
    defaultOptions = &ownDefaults_;
    auto text = [this](const char *s) -> const char * { return s ? rowTexts_.emplace_back(s).c_str() : nullptr; };
    for (const XrmOptionDescRec *r = o; r->option; ++r)
        ownRows_.push_back({text(r->option), text(r->specifier), r->argKind, text(r->value)});
    ownRows_.push_back({nullptr, nullptr, 0, nullptr});
    opts = ownRows_.data();
    observer_ = userDefaultsController_->addObserver([this](const std::string &key) { showValue(key); });
}

SomnelConfigSheet::~SomnelConfigSheet() {
    if (userDefaultsController_) userDefaultsController_->removeObserver(observer_);
    // Widgets may still signal while they go (a field that loses focus ends
    // its edit): take them down while the bindings exist, and ignore them.
    showing_ = true;
    delete outer_;
    outer_ = nullptr;
}

std::unique_ptr<SomnelConfigSheet> SomnelConfigSheet::create(
    const std::string &path, const XrmOptionDescRec *opts,
    std::shared_ptr<platform::UserDefaultsController> controller, const platform::ValueMap *defaults,
    const DescriptionLimits &limits) {
    std::unique_ptr<SomnelConfigSheet> sheet(new SomnelConfigSheet(opts, std::move(controller), defaults));
    sheet->initWithXMLFile(path, limits);
    return sheet;
}

void SomnelConfigSheet::initWithXMLFile(const std::string &path, const DescriptionLimits &limits) {
    SOMNEL_ASSERT(!path.empty(), "can't URLify \"%s\"", path.c_str());
    // Through the reader the manifest and the preferences use: capped, and
    // never waiting on a FIFO or reading a device without end.
    std::string data, why;
    const platform::FileRead read = platform::readRegularFile(path, limits.bytes, &data, &why);
    SOMNEL_ASSERT(read != platform::FileRead::Missing, "XML Error: %s", path.c_str());
    SOMNEL_ASSERT(read == platform::FileRead::Ok, "XML Error: %s: %s%s", path.c_str(), why.c_str(),
                  read == platform::FileRead::TooLarge ? " (the most a description may hold)" : "");
    SOMNEL_ASSERT(somnel::sheet::parseXML(data, &xml_, &why, {limits.depth, limits.elements}), "XML Error: %s: %s",
                  path.c_str(), why.c_str());
    traverseTree();
    xml_.clear();
}

// ------------------------------------------------------------ attributes

void SomnelConfigSheet::parseAttrs(std::map<std::string, std::string> &dict, const SimpleXMLNode *node) {
    for (const auto &attr : node->attributes()) {
        const std::string &name = attr->name();
        const std::string &value = attr->objectValue();
        auto old = dict.find(name);
        SOMNEL_ASSERT(old != dict.end(), "unknown attribute \"%s\" in \"%s\"", name.c_str(), node->name().c_str());
        SOMNEL_ASSERT(old->second.empty(), "duplicate %s: \"%s\", \"%s\"", name.c_str(), old->second.c_str(),
                      value.c_str());
        old->second = value;
    }
    for (auto it = dict.begin(); it != dict.end();) it = it->second.empty() ? dict.erase(it) : std::next(it);
}

std::string SomnelConfigSheet::parseSomnelTag(const SimpleXMLNode *root) {
    std::map<std::string, std::string> dict{{"name", ""}, {"_label", ""}, {"gl", ""}};
    parseAttrs(dict, root);
    SOMNEL_ASSERT(dict.count("_label"), "no _label in %s", root->name().c_str());
    SOMNEL_ASSERT(dict.count("name"), "no name in \"%s\"", dict["_label"].c_str());
    return dict["_label"];
}

// --------------------------------------------------------------- switches

std::string SomnelConfigSheet::switchToResource(const std::string &cmdline, const XrmOptionDescRec *rows,
                                                std::optional<std::string> *valRet) {
    if (valRet) valRet->reset();
    // Switch texts go through a fixed 255-byte buffer, terminator included.
    SOMNEL_ASSERT(cmdline.size() <= 254, "unable to convert %s", cmdline.c_str());
    const size_t sep = cmdline.find_first_of(" \t\r\n");
    const std::string sw = cmdline.substr(0, sep);
    std::optional<std::string> value;
    if (sep != std::string::npos) {
        size_t v = sep + 1;
        while (v < cmdline.size() && (cmdline[v] == ' ' || cmdline[v] == '\t')) ++v;
        if (v < cmdline.size()) value = cmdline.substr(v);
    }
    const XrmOptionDescRec *row = nullptr;
    for (const XrmOptionDescRec *r = rows; r && r->option; ++r)
        if (sw == r->option) {
            row = r;
            break;
        }
    SOMNEL_ASSERT(row, "\"%s\" not present in options", cmdline.c_str());
    if (row->argKind == 0) {
        SOMNEL_ASSERT(!value, "expected no args to switch: \"%s\"", cmdline.c_str());
        if (row->value) value = std::string(row->value);
    } else {
        SOMNEL_ASSERT(value.has_value(), "expected args to switch: \"%s\"", cmdline.c_str());
    }
    if (valRet) *valRet = value;
    const char *resource = row->specifier ? row->specifier : "";
    while (*resource == '.' || *resource == '*') ++resource;
    return resource;
}

// ---------------------------------------------------------------- the walk

void SomnelConfigSheet::traverseChildren(const SimpleXMLNode *node, QWidget *parent) {
    if (!node->children()) return;
    for (const SimpleXMLNode *child : *node->children()) makeControl(child, parent);
}

void SomnelConfigSheet::makeControl(const SimpleXMLNode *node, QWidget *parent) {
    if (node->kind() == SimpleXMLNoKind) return;
    if (node->kind() == SimpleXMLTextKind) {
        QString text = QString::fromStdString(node->objectValue()).trimmed();
        SOMNEL_ASSERT(text.isEmpty(), "unexpected text: %s", text.toStdString().c_str());
        return;
    }
    SOMNEL_ASSERT(node->kind() == SimpleXMLElementKind, "weird XML node kind: %d: %s", int(node->kind()),
                  node->description().c_str());
    const std::string &name = node->name();
    if (name == "hgroup") makeGroup(node, parent, true);
    else if (name == "vgroup") makeGroup(node, parent, false);
    else if (name == "command") return;
    else if (name == "boolean") makeCheckbox(node, parent);
    else if (name == "string") makeTextField(node, parent, false, false);
    else if (name == "file") makeFileSelector(node, parent, false, true, false);
    else if (name == "number") makeNumberSelector(node, parent);
    else if (name == "select") makeOptionMenu(node, parent);
    else if (name == "_description") makeDescLabel(node, parent);
    else if (name == "somnel-text") makeTextLoaderControlBox(node, parent);
    else if (name == "somnel-image") makeImageLoaderControlBox(node, parent);
    else platform::raiseInconsistency("unknown tag: %s", name.c_str());
}

// The group is made inside its parent before its controls are: moving a
// finished subtree into another widget costs Qt a walk over the whole
// subtree (its focus chain, fonts and palettes), and doing that at every
// level made nested groups cubic in their depth.
void SomnelConfigSheet::makeGroup(const SimpleXMLNode *node, QWidget *parent, bool horizontal) {
    auto *box = new somnel::sheet::Box(Rect::make(0, 0, 0, 0), QString(), somnel::sheet::Box::NoBorder, 0, 0);
    somnel::sheet::addSubview(parent, box);
    QWidget *group = box->contentView();
    setFrame(group, Rect::make(0, 0, 1, 1));
    traverseChildren(node, group);
    layout_group(group, horizontal);
    box->sizeToFit();
    placeChild(box, parent);
}

// ---------------------------------------------------------------- placement

QWidget *SomnelConfigSheet::last_child(QWidget *parent) { return somnel::sheet::lastSubview(parent); }

void SomnelConfigSheet::placeChild(QWidget *child, QWidget *parent, bool right) {
    // A child already added (a group, made in place) goes after the one
    // before it.
    QWidget *last = child->parentWidget() == parent ? somnel::sheet::subviewBefore(parent, child) : last_child(parent);
    Rect f = frame(child);
    if (!last) {
        f.origin = {20, frame(parent).size.height - f.size.height - 10};
    } else {
        Rect l = frame(last);
        if (right)
            f.origin = {l.origin.x + l.size.width + 10, l.origin.y};
        else
            f.origin = {20, l.origin.y - f.size.height - 10};
    }
    setFrame(child, f);
    somnel::sheet::addSubview(parent, child);
}

void SomnelConfigSheet::layout_group(QWidget *group, bool horizontal) {
    const auto views = subviews(group);
    double w = 0, h = 0, b = 0;
    for (QWidget *v : views) {
        Rect f = frame(v);
        if (horizontal) {
            w += f.size.width + 10;
            h = std::max(h, f.size.height);
        } else {
            w = std::max(w, f.size.width);
        }
    }
    if (!horizontal && !views.empty()) {
        Rect last = frame(views.back());
        b = last.origin.y - last.size.height;
        h = -b;
    }
    setFrame(group, Rect::make(0, 0, w, h));
    double x = 0;
    for (QWidget *v : views) {
        Rect f = frame(v);
        if (horizontal) {
            f.origin = {x, h - f.size.height};
            x += f.size.width + 10;
        } else {
            f.origin.y -= b;
        }
        setFrame(v, f);
    }
}

// The panel around the controls and the description under them. Where the
// description goes is computed from the lowest bottom edge of the controls,
// and its height (fitted to its text at its final width, at least 50) is
// known before it is placed, so it never reaches up into the controls.
void SomnelConfigSheet::fix_contentview_size(QWidget *panel) {
    const auto views = subviews(panel);
    // A root with no views at all. The message keeps the routine and line
    // form of this abort, then names the slip in the description.
    if (views.empty())
        platform::raiseInconsistency("abort in %s:%d: <screensaver> holds nothing to show: it needs a "
                                     "<_description> of its own",
                                     "fix_contentview_size", __LINE__);
    QWidget *desc = nullptr;
    double w = 0, m = 0;
    for (QWidget *v : views) {
        if (dynamic_cast<somnel::sheet::DescriptionView *>(v)) {
            desc = v;
            continue;
        }
        Rect f = frame(v);
        w = std::max(w, f.origin.x + f.size.width);
        m = std::min(m, f.origin.y);
    }
    // The root must hold a _description of its own (one inside a group
    // lands in the group's view).
    if (!desc)
        platform::raiseInconsistency("abort in %s:%d: no <_description> directly inside <screensaver> (one inside "
                                     "a group does not count)",
                                     "fix_contentview_size", __LINE__);
    w = std::max(w, 400.0);
    // As wide as the screen allows, with the window's edges and buttons on
    // it: a long label or a wide group is cut, as a tall panel is.
    const double most = std::max(400.0, maxPanelWidth());
    if (w > most) {
        platform::log("%s width was %.0f; clipping to %.0f", panel->metaObject()->className(), w + 20, most + 20);
        w = most;
    }
    auto *dv = static_cast<somnel::sheet::DescriptionView *>(desc);
    const double dw = w - 20;
    const double dh = std::max(dv->textHeightForWidth(dw), 50.0);
    setFrame(desc, Rect::make(frame(desc).origin.x, m - 10 - dh, dw, dh));
    m = frame(desc).origin.y;

    setFrame(panel, Rect::make(0, 0, w + 20, 40 - m));
    const double lift = 40 - m;
    for (QWidget *v : views) {
        Rect f = frame(v);
        f.origin.y += lift;
        setFrame(v, f);
    }
    for (QWidget *v : views)
        somnel::sheet::setAutoresizingMask(v, v == desc ? somnel::sheet::WidthSizable | somnel::sheet::MaxXMargin |
                                                          somnel::sheet::MinYMargin | somnel::sheet::HeightSizable
                                                    : somnel::sheet::MaxXMargin | somnel::sheet::MinYMargin);
}

double SomnelConfigSheet::maxPanelWidth() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    // The panel's margins (20), the window's bezel box (14) and room for a
    // window frame.
    return screen ? screen->availableGeometry().width() - 60.0 : 1e9;
}

void SomnelConfigSheet::clipPanelHeight(QWidget *panel) {
    Rect f = frame(panel);
    if (f.size.height <= 550) return;
    platform::log("%s height was %.0f; clipping to %d", panel->metaObject()->className(), f.size.height, 550);
    setFrameSize(panel, {f.size.width, 550});
}

// ---------------------------------------------------------------- assembly

void SomnelConfigSheet::traverseTree() {
    const SimpleXMLNode *root = xml_.xml_root;
    SOMNEL_ASSERT(root && root->name() == "screensaver", "top level node is not <somnel>");
    label_ = parseSomnelTag(root);
    saver_name = label_;
    saver_name.erase(std::remove(saver_name.begin(), saver_name.end(), ' '), saver_name.end());

    QWidget *panel = somnel::sheet::makeView(Rect::make(0, 0, 1, 1));
    panel_ = panel;
    // Until the panel has a parent, a builder's error must not leak it.
    std::unique_ptr<QWidget> holdPanel(panel);
    traverseChildren(root, panel);
    fix_contentview_size(panel);
    const Rect pf = frame(panel);

    // The button bar: Reset at the left, Cancel and OK at the right. The
    // buttons get their fixed width before they are placed, so that OK is
    // flush with the bar's right edge and Cancel 10 to its left.
    auto *bar = new somnel::sheet::Box(Rect::make(0, 0, pf.size.width, 10), QString(), somnel::sheet::Box::NoBorder);
    buttonBar_ = bar;
    QWidget *barContent = bar->contentView();
    const double barWidth = frame(barContent).size.width;
    reset_ = new QPushButton(QStringLiteral("Reset to Defaults"));
    setFrame(reset_, Rect::make(0, 0, 10, 10));
    somnel::sheet::sizeToFit(reset_);
    ok_ = new QPushButton(QStringLiteral("OK"));
    setFrame(ok_, frame(reset_));
    somnel::sheet::sizeToFit(ok_);
    setFrameSize(ok_, {68, frame(ok_).size.height});
    setFrameOrigin(ok_, {barWidth - 68, 0});
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    setFrame(cancel_, frame(ok_));
    somnel::sheet::sizeToFit(cancel_);
    setFrameSize(cancel_, {68, frame(cancel_).size.height});
    setFrameOrigin(cancel_, {frame(ok_).origin.x - 68 - 10, 0});
    for (QPushButton *b : {reset_, cancel_}) b->setAutoDefault(false);
    ok_->setAutoDefault(false);
    ok_->setDefault(true);  // Return; Escape is the dialog's reject()
    for (QPushButton *b : {ok_, cancel_, reset_}) somnel::sheet::addSubview(barContent, b);
    bar->sizeToFit();

    const Rect bf = frame(bar);
    auto *outer = new somnel::sheet::Box(
        Rect::make(bf.origin.x, bf.origin.y + bf.size.height, bf.size.width, bf.size.height), QString(),
        somnel::sheet::Box::BezelBorder);
    outer_ = outer;
    clipPanelHeight(panel);
    somnel::sheet::addSubview(outer->contentView(), holdPanel.release());
    somnel::sheet::addSubview(outer->contentView(), bar);
    outer->sizeToFit();

    somnel::sheet::setAutoresizingMask(reset_, somnel::sheet::MaxXMargin);
    somnel::sheet::setAutoresizingMask(cancel_, somnel::sheet::MinXMargin);
    somnel::sheet::setAutoresizingMask(ok_, somnel::sheet::MinXMargin);
    somnel::sheet::setAutoresizingMask(bar, somnel::sheet::WidthSizable);
    somnel::sheet::setAutoresizingMask(panel, somnel::sheet::WidthSizable | somnel::sheet::HeightSizable);

    QObject::connect(ok_, &QPushButton::clicked, this, [this] { okAction(); });
    QObject::connect(cancel_, &QPushButton::clicked, this, [this] { cancelAction(); });
    QObject::connect(reset_, &QPushButton::clicked, this, [this] { resetAction(); });

    userDefaultsController_->setAppliesImmediately(false);

    outer->setParent(this);
    const Rect of = frame(outer);
    const QSize size(int(std::lround(of.size.width)), int(std::lround(of.size.height)));
    resize(size);
    setMinimumSize(size);
    setFrame(outer, Rect::make(0, 0, size.width(), size.height()));
    outer->show();
    setWindowTitle(QString::fromStdString(label_));
}

void SomnelConfigSheet::resizeEvent(QResizeEvent *e) {
    QDialog::resizeEvent(e);
    if (outer_) setFrame(outer_, Rect::make(0, 0, e->size().width(), e->size().height()));
}

// ------------------------------------------------------------------ buttons

void SomnelConfigSheet::commitEditing() {
    for (const Binding &b : bindings_)
        if (b.commit) b.commit();
    userDefaultsController_->commitEditing();
}

void SomnelConfigSheet::okAction() {
    commitEditing();
    if (!userDefaultsController_->save()) {
        // The store said why on standard error; the edits stay pending and
        // the sheet stays open, so that nothing is reported as saved.
        if (isVisible())
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("The settings could not be saved. They are kept in this "
                                                "window; try again, or Cancel to drop them."));
        return;
    }
    done(1);
    close();
}

void SomnelConfigSheet::cancelAction() {
    userDefaultsController_->revert();
    done(0);
    close();
}

void SomnelConfigSheet::resetAction() { userDefaultsController_->revertToInitialValues(); }

void SomnelConfigSheet::accept() { okAction(); }

void SomnelConfigSheet::reject() { cancelAction(); }

// ------------------------------------------------------------------ bindings

QWidget *SomnelConfigSheet::controlForKey(const std::string &key) const {
    for (const Binding &b : bindings_)
        if (b.key == key) return b.control;
    return nullptr;
}

std::vector<QWidget *> SomnelConfigSheet::controlsForKey(const std::string &key) const {
    std::vector<QWidget *> out;
    for (const Binding &b : bindings_)
        if (b.key == key) out.push_back(b.control);
    return out;
}

void SomnelConfigSheet::bindSwitch(QWidget *control, const std::string &cmdline) {
    bindResource(control, switchToResource(cmdline, opts, nullptr));
}

void SomnelConfigSheet::showValue(const std::string &key) {
    FlagScope scope(showing_);
    for (const Binding &b : bindings_)
        if (b.key == key && b.show) b.show();
}

void SomnelConfigSheet::userEdited(QWidget *control, const Value &value) {
    if (showing_) return;  // the binding itself is showing a value
    storeForControl(control, value);
}

void SomnelConfigSheet::storeForControl(QWidget *control, const Value &value) {
    for (const Binding &b : bindings_)
        if (b.control == control) {
            userDefaultsController_->setValue(b.key, value);
            return;
        }
}

// The binding by kind of control: a menu's selected object, the radio
// column's selected index, else the control's value.
void SomnelConfigSheet::bindResource(QWidget *control, const std::string &key) {
    auto ctl = userDefaultsController_;
    Binding b{control, key, {}, {}};
    if (auto *menu = dynamic_cast<QComboBox *>(control)) {
        auto objectAt = [menu](int i) {
            QVariant v = menu->itemData(i);
            switch (v.typeId()) {
            case QMetaType::Bool: return Value(v.toBool());
            case QMetaType::LongLong: return Value((long long)v.toLongLong());
            case QMetaType::Double: return Value(v.toDouble());
            case QMetaType::QString: return Value(v.toString().toStdString());
            default: return Value();
            }
        };
        b.show = [menu, ctl, key, objectAt] {
            const Value v = ctl->value(key);
            int found = -1;
            for (int i = 0; i < menu->count() && found < 0; ++i)
                if (sameObject(objectAt(i), v)) found = i;
            menu->setCurrentIndex(found);
        };
        QObject::connect(menu, &QComboBox::activated, this,
                         [this, menu, objectAt](int i) { userEdited(menu, objectAt(i)); });
    } else if (auto *matrix = dynamic_cast<somnel::sheet::RadioMatrix *>(control)) {
        b.show = [matrix, ctl, key] {
            matrix->setSelectedIndex(somnel::sheet::roundToInt(platform::doubleValue(ctl->value(key))));
        };
        matrix->onUserSelect = [this, matrix](int i) { userEdited(matrix, Value((long long)i)); };
    } else if (auto *box = dynamic_cast<QCheckBox *>(control)) {
        b.show = [box, ctl, key] { box->setChecked(truthy(ctl->value(key))); };
        QObject::connect(box, &QCheckBox::clicked, this, [this, box](bool on) { userEdited(box, Value(on)); });
    } else if (auto *slider = dynamic_cast<InvertedSlider *>(control)) {
        b.show = [slider, ctl, key] { slider->setDoubleValue(platform::doubleValue(ctl->value(key))); };
        QObject::connect(slider, &QSlider::valueChanged, this, [this, slider](int) {
            const double v = slider->doubleValue();
            userEdited(slider, slider->integers() ? Value(somnel::sheet::roundToLongLong(v)) : Value(v));
        });
    } else if (auto *stepper = dynamic_cast<somnel::sheet::Stepper *>(control)) {
        b.show = [stepper, ctl, key] { stepper->setDoubleValue(platform::doubleValue(ctl->value(key))); };
        stepper->onUserChange = [this, stepper](double v) {
            userEdited(stepper, v == std::floor(v) && std::fabs(v) < 1e15 ? Value((long long)v) : Value(v));
        };
    } else if (auto *field = dynamic_cast<QLineEdit *>(control)) {
        auto *tf = dynamic_cast<somnel::sheet::TextField *>(field);
        const bool numeric = tf && tf->numeric;
        const bool fractional = tf && tf->fractional;
        b.show = [field, ctl, key, numeric, fractional] {
            const Value v = ctl->value(key);
            QString text;
            if (numeric && !platform::isNil(v)) {
                const double d = platform::doubleValue(v);
                if (fractional) {
                    text = QString::number(d, 'f', 2);
                    // one or two fraction digits: "2.0", "0.25"
                    if (text.endsWith('0')) text.chop(1);
                } else {
                    text = QString::number(somnel::sheet::roundToLongLong(d));
                }
            } else {
                text = QString::fromStdString(platform::stringValue(v));
            }
            if (field->text() != text) {
                field->setText(text);
                field->setCursorPosition(int(text.size()));  // the end of a long path stays visible
            }
        };
        if (numeric) {
            // A number is taken when the edit ends (Return, leaving the
            // field, or OK), as the field's formatter would: a number out
            // of range is brought into it, an empty field keeps the value.
            // Only what the user typed is taken: a field showing the stored
            // value changes nothing, whatever its range (a broken range
            // would otherwise replace the value with its bound on OK).
            auto *validator = field->validator();
            auto commit = [this, field, fractional, validator, key] {
                if (!field->isModified()) return;
                field->setModified(false);
                bool ok = false;
                double d = QLocale::c().toDouble(field->text().trimmed(), &ok);
                if (!ok) return;
                double lo = 0, hi = 0;
                if (auto *v = dynamic_cast<const QDoubleValidator *>(validator)) lo = v->bottom(), hi = v->top();
                if (auto *v = dynamic_cast<const QIntValidator *>(validator)) lo = v->bottom(), hi = v->top();
                if (validator && lo <= hi) d = std::clamp(d, lo, hi);
                const Value v = fractional ? Value(d) : Value(somnel::sheet::roundToLongLong(d));
                userEdited(field, v);
                showValue(key);  // the field shows what was taken
            };
            b.commit = commit;
            QObject::connect(field, &QLineEdit::editingFinished, this, commit);
        } else {
            QObject::connect(field, &QLineEdit::textEdited, this,
                             [this, field](const QString &t) { userEdited(field, Value(t.toStdString())); });
        }
    } else {
        platform::raiseInconsistency("binding a %s is not supported", control->metaObject()->className());
    }
    bindings_.push_back(b);
    FlagScope scope(showing_);
    bindings_.back().show();
}
