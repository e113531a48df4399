// Builders for the option controls: labels, check boxes, sliders, number
// fields with a stepper, and pop-up menus.
#include "framework/sheet/sheet_widgets.h"

#include "platform/log.h"
#include "framework/sheet/view_frame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QLabel>
#include <QLocale>

#include "framework/sheet/somnel_config_sheet.h"

#include <algorithm>
#include <climits>
#include <cmath>

using platform::Rect;
using platform::Value;
using somnel::sheet::frame;
using somnel::sheet::setFrame;
using somnel::sheet::setFrameOrigin;
using somnel::sheet::setFrameSize;

namespace {

std::string get(const std::map<std::string, std::string> &d, const char *key) {
    auto it = d.find(key);
    return it == d.end() ? std::string() : it->second;
}

// The platform's small control font, for slider end labels.
void useSmallFont(QLabel *label) {
    QFont f = label->font();
    if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * 11.0 / 13.0);
    label->setFont(f);
    somnel::sheet::sizeToFit(label);
}

// How many tick marks a slider over [min, max] gets, and whether the knob
// stops on them: every whole value up to 21, else 21 free marks. The
// count of whole values is taken within an int (a wider range, or one
// that is not a number, has that many and more).
int tickMarks(double min, double max, bool fractional, bool *stops) {
    const double span = max - min + 1;
    const int range = std::isnan(span) ? INT_MAX : somnel::sheet::roundToInt(std::trunc(span));
    int ticks = range;
    while (ticks > 21) ticks = ticks / 10;
    if (ticks != range && ticks < 21) ticks = 21;
    if (fractional && ticks < 21) ticks = 21;
    *stops = ticks == range && !fractional;
    return ticks;
}

}  // namespace

QLabel *SomnelConfigSheet::makeLabel(const std::string &text) {
    auto *label = new QLabel(QString::fromStdString(text));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setTextFormat(Qt::PlainText);
    setFrame(label, Rect::make(0, 0, 10, 10));
    somnel::sheet::sizeToFit(label);
    return label;
}

void SomnelConfigSheet::makeCheckbox(const SimpleXMLNode *node, QWidget *parent) {
    std::map<std::string, std::string> dict{{"id", ""}, {"_label", ""}, {"arg-set", ""}, {"arg-unset", ""}};
    parseAttrs(dict, node);
    SOMNEL_ASSERT(dict.count("_label"), "no _label in %s", node->name().c_str());
    const std::string label = dict["_label"];
    const std::string set = get(dict, "arg-set"), unset = get(dict, "arg-unset");
    SOMNEL_ASSERT(!set.empty() || !unset.empty(), "neither arg-set nor arg-unset provided in \"%s\"", label.c_str());
    SOMNEL_ASSERT(set.empty() || unset.empty(), "only one of arg-set and arg-unset may be used in \"%s\"",
                  label.c_str());
    auto isNo = [](const std::string &s) { return s.rfind("-no-", 0) == 0 || s.rfind("--no-", 0) == 0; };
    if (!set.empty() && isNo(set))
        platform::log("arg-set should not be a \"no\" option in \"%s\": %s", label.c_str(), set.c_str());
    if (!unset.empty() && !isNo(unset))
        platform::log("arg-unset should be a \"no\" option in \"%s\": %s", label.c_str(), unset.c_str());

    auto *box = new QCheckBox(QString::fromStdString(label));
    setFrame(box, Rect::make(0, 0, 10, 10));
    somnel::sheet::sizeToFit(box);
    placeChild(box, parent);
    // The switch only names the resource: "on" always means true.
    bindSwitch(box, set.empty() ? unset : set);
}

void SomnelConfigSheet::makeNumberSelector(const SimpleXMLNode *node, QWidget *parent) {
    std::map<std::string, std::string> dict{{"id", ""},   {"_label", ""}, {"_low-label", ""}, {"_high-label", ""},
                                            {"type", ""}, {"arg", ""},    {"low", ""},        {"high", ""},
                                            {"default", ""}, {"convert", ""}};
    parseAttrs(dict, node);
    const std::string label = get(dict, "_label"), lowLabel = get(dict, "_low-label"),
                      highLabel = get(dict, "_high-label"), type = get(dict, "type"), arg = get(dict, "arg"),
                      low = get(dict, "low"), high = get(dict, "high"), convert = get(dict, "convert");
    const char *element = node->name().c_str();
    SOMNEL_ASSERT(!arg.empty(), "no arg in %s", label.c_str());
    SOMNEL_ASSERT(!type.empty(), "no type in %s", label.c_str());
    SOMNEL_ASSERT(!low.empty(), "no low in %s", element);
    SOMNEL_ASSERT(!high.empty(), "no high in %s", element);
    SOMNEL_ASSERT(dict.count("default"), "no default in %s", element);
    SOMNEL_ASSERT(convert.empty() || convert == "invert", "if provided, \"convert\" must be \"invert\" in %s",
                  label.c_str());

    const bool fractional = low.find('.') != std::string::npos || high.find('.') != std::string::npos;
    const double lo = platform::doubleValue(low), hi = platform::doubleValue(high);

    if (type == "slider") {
        auto *slider = new InvertedSlider(Rect::make(0, 0, 150, 23), !convert.empty(), !fractional);
        slider->setMaxValue(hi);
        slider->setMinValue(lo);
        bool stops = false;
        const int ticks = tickMarks(lo, hi, fractional, &stops);
        slider->setNumberOfTickMarks(ticks);
        slider->setAllowsTickMarkValuesOnly(stops);

        if (!label.empty()) placeChild(makeLabel(label), parent);
        const double sh = frame(slider).size.height;
        if (!lowLabel.empty()) {
            QLabel *l = makeLabel(lowLabel);
            useSmallFont(l);
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            setFrameSize(l, {std::max(frame(l).size.width, 70.0), sh});
            placeChild(l, parent);
            placeChild(slider, parent, true);
            setFrameSize(l, {frame(l).size.width, sh});
        } else {
            placeChild(slider, parent);
            Rect f = frame(slider);
            if (f.origin.x < 70) setFrameOrigin(slider, {70, f.origin.y});
        }
        if (!highLabel.empty()) {
            QLabel *h = makeLabel(highLabel);
            useSmallFont(h);
            h->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            setFrameSize(h, {frame(h).size.width, sh});
            placeChild(h, parent, true);
        }
        bindSwitch(slider, arg);
    } else if (type == "spinbutton") {
        SOMNEL_ASSERT(!label.empty(), "no _label in spinbutton %s", element);
        SOMNEL_ASSERT(lowLabel.empty(), "low-label not allowed in spinbutton \"%s\"", element);
        SOMNEL_ASSERT(highLabel.empty(), "high-label not allowed in spinbutton \"%s\"", element);
        SOMNEL_ASSERT(convert.empty(), "convert not allowed in spinbutton \"%s\"", element);

        auto *field = new somnel::sheet::TextField;
        setFrame(field, Rect::make(0, 0, 10, 10));
        field->setText(QStringLiteral("0000.0"));
        field->sizeToFit();
        field->setText(QString());
        const double fh = frame(field).size.height;

        QLabel *l = makeLabel(label);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setFrameSize(l, {std::max(frame(l).size.width, 70.0), fh});
        placeChild(l, parent);
        placeChild(field, parent, true);

        auto *stepper = new somnel::sheet::Stepper;
        setFrame(stepper, Rect::make(0, 0, 10, 10));
        somnel::sheet::sizeToFit(stepper);
        placeChild(stepper, parent, true);
        Rect sf = frame(stepper);
        setFrameOrigin(stepper, {sf.origin.x - 10, sf.origin.y + (fh - sf.size.height) / 2});

        stepper->setMinValue(lo);
        stepper->setMaxValue(hi);
        stepper->setAutorepeat(true);
        stepper->setValueWraps(false);
        double d = hi - lo;
        stepper->setIncrement(d < 1 ? d / 10 : d >= 500 ? d / 100 : 1);

        // The field's formatter: the range, and one or two fraction digits
        // for fractional selectors, whole numbers otherwise.
        field->numeric = true;
        field->fractional = fractional;
        if (fractional) {
            auto *v = new QDoubleValidator(std::isnan(lo) ? -HUGE_VAL : lo, std::isnan(hi) ? HUGE_VAL : hi, 2, field);
            v->setNotation(QDoubleValidator::StandardNotation);
            v->setLocale(QLocale::c());
            field->setValidator(v);
        } else {
            // Within an int, as the validator counts; a bound that is not
            // a number leaves that end open.
            auto *v = new QIntValidator(std::isnan(lo) ? INT_MIN : somnel::sheet::roundToInt(lo),
                                        std::isnan(hi) ? INT_MAX : somnel::sheet::roundToInt(hi), field);
            v->setLocale(QLocale::c());
            field->setValidator(v);
        }
        bindSwitch(stepper, arg);
        bindSwitch(field, arg);
    } else {
        platform::raiseInconsistency("unknown type \"%s\" in \"%s\"", type.c_str(), label.c_str());
    }
}

Value SomnelConfigSheet::menuItemObject(const std::string &value) {
    const QString v = QString::fromStdString(value);
    if (!v.compare("true", Qt::CaseInsensitive) || !v.compare("yes", Qt::CaseInsensitive)) return Value(true);
    if (!v.compare("false", Qt::CaseInsensitive) || !v.compare("no", Qt::CaseInsensitive)) return Value(false);
    return Value(value);
}

void SomnelConfigSheet::set_menu_item_object(QComboBox *menu, int index, const Value &value) {
    Value v = platform::isString(value) ? menuItemObject(std::get<std::string>(value)) : value;
    QVariant data;
    if (auto b = std::get_if<bool>(&v)) data = QVariant(*b);
    else if (auto i = std::get_if<long long>(&v)) data = QVariant(qlonglong(*i));
    else if (auto d = std::get_if<double>(&v)) data = QVariant(*d);
    else if (auto s = std::get_if<std::string>(&v)) data = QVariant(QString::fromStdString(*s));
    menu->setItemData(index, data);
}

void SomnelConfigSheet::makeOptionMenu(const SimpleXMLNode *node, QWidget *parent) {
    SOMNEL_ASSERT(node->children() && !node->children()->empty(), "no menu items in \"%s\"", node->name().c_str());
    std::map<std::string, std::string> menuDict{{"id", ""}};
    parseAttrs(menuDict, node);

    auto *menu = new QComboBox;
    std::unique_ptr<QComboBox> hold(menu);  // until it is placed
    menu->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setFrame(menu, Rect::make(0, 0, 10, 10));
    std::string key;
    int defaultItem = -1;
    for (const SimpleXMLNode *child : *node->children()) {
        if (child->kind() != SimpleXMLElementKind) continue;
        std::map<std::string, std::string> dict{{"id", ""}, {"_label", ""}, {"arg-set", ""}};
        parseAttrs(dict, child);
        SOMNEL_ASSERT(dict.count("_label"), "no _label in %s", child->name().c_str());
        const std::string label = dict["_label"];
        menu->addItem(QString::fromStdString(label));
        const int item = menu->count() - 1;
        if (dict.count("arg-set")) {
            std::optional<std::string> value;
            std::string k = switchToResource(dict["arg-set"], opts, &value);
            SOMNEL_ASSERT(value.has_value(), "this_val null for %s", dict["arg-set"].c_str());
            SOMNEL_ASSERT(key.empty() || key == k, "multiple resources in menu: \"%s\" vs \"%s\" = \"%s\"", key.c_str(),
                          k.c_str(), value->c_str());
            set_menu_item_object(menu, item, Value(*value));
            key = k;
        } else {
            SOMNEL_ASSERT(defaultItem < 0, "no arg-set in \"%s\"", label.c_str());
            defaultItem = item;
        }
    }
    // Sized once, to its widest item: sizing after every item made a long
    // menu take time in the square of its length.
    menu->setCurrentIndex(menu->count() - 1);
    somnel::sheet::sizeToFit(menu);
    SOMNEL_ASSERT(!key.empty(), "no switches in menu \"%s\"", get(menuDict, "id").c_str());
    if (defaultItem >= 0) {
        auto it = defaultOptions->find(key);
        SOMNEL_ASSERT(it != defaultOptions->end() && !platform::isNil(it->second),
                      "no default value for resource \"%s\" in menu item \"%s\"", key.c_str(),
                      menu->itemText(defaultItem).toStdString().c_str());
        set_menu_item_object(menu, defaultItem, it->second);
    }
    placeChild(hold.release(), parent);
    bindResource(menu, key);
}
