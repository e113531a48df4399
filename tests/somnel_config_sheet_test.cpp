// The configuration sheet's rules that need no window on screen: placement
// arithmetic, switch lookup, the slider's tick marks, menu values, the
// description's text and links, and every description error with its
// message.
#include "tests/support/sheet_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QApplication>
#include <QWidget>

#include "framework/prefs_reader.h"
#include "platform/log.h"
#include "framework/sheet/somnel_config_sheet.h"
#include "framework/sheet/sheet_widgets.h"
#include "framework/sheet/view_frame.h"

#include <memory>
#include <sys/stat.h>
#include <string>

namespace {

using platform::Rect;
using platform::Value;
using testsupport::abortReason;
using testsupport::captureStderr;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// The shared hack's rows behind the host's, as a view merges them.
const XrmOptionDescRec *const kOptions = testsupport::mergedRows();

// Builds sheets from XML text over a reader of its own.
class SheetRules : public testsupport::SheetFixture {
protected:
    // The reason a description raises, or "<no exception>".
    std::string failure(const std::string &body) {
        std::string reason;
        captureStderr([&] { reason = abortReason([&] { build(body); }); });
        return reason;
    }
};

std::string root(const std::string &inside) {
    return "<?xml version=\"1.0\"?>\n<screensaver name=\"t\" _label=\"Test Saver\">\n" + inside +
           "\n<_description>A saver, for tests.</_description>\n</screensaver>\n";
}

Rect frameOf(QWidget *w) { return somnel::sheet::frame(w); }

// ------------------------------------------------------------ placement

TEST(SheetPlacement, FirstChildRightOfLastAndNewRows) {
    std::unique_ptr<QWidget> parent(somnel::sheet::makeView(Rect::make(0, 0, 1, 1)));
    QWidget *a = somnel::sheet::makeView(Rect::make(0, 0, 50, 20));
    QWidget *b = somnel::sheet::makeView(Rect::make(0, 0, 30, 8));
    QWidget *c = somnel::sheet::makeView(Rect::make(0, 0, 40, 12));
    SomnelConfigSheet::placeChild(a, parent.get(), true);  // no last view: a new row
    EXPECT_EQ(frameOf(a).origin.x, 20);
    EXPECT_EQ(frameOf(a).origin.y, -29);
    SomnelConfigSheet::placeChild(b, parent.get(), true);
    EXPECT_EQ(frameOf(b).origin.x, 80);
    EXPECT_EQ(frameOf(b).origin.y, -29);  // same bottom edge
    SomnelConfigSheet::placeChild(c, parent.get());
    EXPECT_EQ(frameOf(c).origin.x, 20);
    EXPECT_EQ(frameOf(c).origin.y, -29 - 12 - 10);  // measured from b, not from the taller a
    EXPECT_EQ(SomnelConfigSheet::last_child(parent.get()), c);
    // Qt's y-down geometry follows from the parent's height of 1.
    EXPECT_EQ(a->geometry(), QRect(20, 1 + 29 - 20, 50, 20));
}

TEST(SheetPlacement, ColumnAndRowGroups) {
    const double h1 = 20, h2 = 30;
    std::unique_ptr<QWidget> column(somnel::sheet::makeView(Rect::make(0, 0, 1, 1)));
    QWidget *a = somnel::sheet::makeView(Rect::make(0, 0, 100, h1));
    QWidget *b = somnel::sheet::makeView(Rect::make(0, 0, 50, h2));
    SomnelConfigSheet::placeChild(a, column.get());
    SomnelConfigSheet::placeChild(b, column.get());
    const double y1 = frameOf(a).origin.y, y2 = frameOf(b).origin.y;
    EXPECT_EQ(y2, 1 - h1 - 10 - h2 - 10);
    SomnelConfigSheet::layout_group(column.get(), false);
    EXPECT_EQ(frameOf(column.get()).size.height, h1 + 2 * h2 + 19);
    EXPECT_EQ(frameOf(column.get()).size.width, 100);
    EXPECT_EQ(frameOf(a).origin.y, y1 - (y2 - h2));
    EXPECT_EQ(frameOf(b).origin.y, y2 - (y2 - h2));

    std::unique_ptr<QWidget> row(somnel::sheet::makeView(Rect::make(0, 0, 1, 1)));
    QWidget *c = somnel::sheet::makeView(Rect::make(0, 0, 100, 20));
    QWidget *d = somnel::sheet::makeView(Rect::make(0, 0, 50, 30));
    SomnelConfigSheet::placeChild(c, row.get());
    SomnelConfigSheet::placeChild(d, row.get());
    SomnelConfigSheet::layout_group(row.get(), true);
    EXPECT_EQ(frameOf(row.get()).size.width, 170);
    EXPECT_EQ(frameOf(row.get()).size.height, 30);
    EXPECT_EQ(frameOf(c).origin.x, 0);
    EXPECT_EQ(frameOf(c).origin.y, 10);
    EXPECT_EQ(frameOf(d).origin.x, 110);
    EXPECT_EQ(frameOf(d).origin.y, 0);
    // Tops aligned on screen.
    EXPECT_EQ(c->geometry().top(), 0);
    EXPECT_EQ(d->geometry().top(), 0);
}

// ------------------------------------------------------------ switches

TEST(SheetSwitches, LookUpTheResourceAndTheValue) {
    std::optional<std::string> v;
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-fps", kOptions, &v), "doFPS");
    EXPECT_EQ(v, "True");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-text-mode %", kOptions, &v), "textMode");
    EXPECT_EQ(v, "%");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-dps \t \t42", kOptions, &v), "dps");
    EXPECT_EQ(v, "42");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-dps\r 7", kOptions, &v), "dps");
    EXPECT_EQ(v, "7");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-dps \r7", kOptions, &v), "dps");
    EXPECT_EQ(v, "\r7");  // a carriage return ends a switch, but is not skipped before a value
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-speed 1", kOptions, &v), "speed");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-ripheight 1", kOptions, &v), "ripheight");
    EXPECT_EQ(SomnelConfigSheet::switchToResource("-bare", kOptions, &v), "bare");
    EXPECT_FALSE(v.has_value());
}

TEST(SheetSwitches, FailuresAreDescriptionErrors) {
    auto fails = [](const std::string &text) {
        return abortReason([&] { SomnelConfigSheet::switchToResource(text, kOptions, nullptr); });
    };
    EXPECT_EQ(fails("-FPS"), "\"-FPS\" not present in options");
    EXPECT_EQ(fails(" -fps"), "\" -fps\" not present in options");
    EXPECT_EQ(fails("-fps 1"), "expected no args to switch: \"-fps 1\"");
    EXPECT_EQ(fails("-dps"), "expected args to switch: \"-dps\"");
    EXPECT_EQ(fails("-dps "), "expected args to switch: \"-dps \"");
    const std::string fits = "-dps " + std::string(249, '9');
    ASSERT_EQ(fits.size(), 254u);
    EXPECT_EQ(fails(fits), "<no exception>");
    EXPECT_EQ(fails(fits + "9"), "unable to convert " + fits + "9");
}

// ------------------------------------------------------------ slider

TEST_F(SheetRules, SliderTickMarksFollowTheRange) {
    struct Case {
        const char *low, *high;
        int ticks;
        bool stops;
    } cases[] = {{"0", "10", 11, true}, {"1", "100", 21, false}, {"0.0", "1.0", 21, false},
                 {"0", "30000", 21, false}, {"1", "21", 21, true}, {"0", "2", 3, true}};
    for (const Case &c : cases) {
        auto sheet = build(root(std::string("<number id=\"s\" type=\"slider\" arg=\"-speed %\" low=\"") + c.low +
                                "\" high=\"" + c.high + "\" default=\"1\"/>"));
        auto *slider = dynamic_cast<InvertedSlider *>(sheet->controlForKey("speed"));
        ASSERT_TRUE(slider);
        EXPECT_EQ(slider->numberOfTickMarks(), c.ticks) << c.low << ".." << c.high;
        EXPECT_EQ(slider->allowsTickMarkValuesOnly(), c.stops) << c.low << ".." << c.high;
        EXPECT_FALSE(slider->inverted());
        EXPECT_EQ(frameOf(slider).origin.x, 70);  // no low label: indented to 70
    }
}

// ------------------------------------------------------------ menus

TEST_F(SheetRules, MenuValuesYesAndNoAreBooleansAndMatchStoredBooleans) {
    EXPECT_EQ(SomnelConfigSheet::menuItemObject("yes"), Value(true));
    EXPECT_EQ(SomnelConfigSheet::menuItemObject("TRUE"), Value(true));
    EXPECT_EQ(SomnelConfigSheet::menuItemObject("No"), Value(false));
    EXPECT_EQ(SomnelConfigSheet::menuItemObject("false"), Value(false));
    EXPECT_EQ(SomnelConfigSheet::menuItemObject("3"), Value(std::string("3")));

    const std::string menu = root(
        "<select id=\"w\"><option id=\"on\" _label=\"Wrap\"/>"
        "<option id=\"off\" _label=\"Stop\" arg-set=\"-no-wrap\"/></select>"
        "<select id=\"r\"><option _label=\"Small\" arg-set=\"-simres 0\"/><option _label=\"Medium\"/>"
        "<option _label=\"Large\" arg-set=\"-simres 2\"/></select>");
    auto sheet = build(menu);
    auto *wrap = dynamic_cast<QComboBox *>(sheet->controlForKey("wrap"));
    auto *res = dynamic_cast<QComboBox *>(sheet->controlForKey("simres"));
    ASSERT_TRUE(wrap && res);
    EXPECT_EQ(wrap->currentText(), "Wrap");  // the default "yes" is the boolean true
    EXPECT_EQ(res->currentText(), "Medium");  // the default 1 shows its item

    auto ctl = reader_->userDefaultsController();
    ctl->setValue("wrap", Value(false));
    EXPECT_EQ(wrap->currentText(), "Stop");
    ctl->setValue("wrap", Value(true));
    EXPECT_EQ(wrap->currentText(), "Wrap");
    ctl->setValue("simres", Value(2LL));  // a stored number matches the item's "2"
    EXPECT_EQ(res->currentText(), "Large");
    ctl->setValue("simres", Value(std::string("0")));
    EXPECT_EQ(res->currentText(), "Small");
}

// ------------------------------------------------------------ description

TEST(SheetDescription, ReflowJoinsLinesAndKeepsBreaks) {
    EXPECT_EQ(SomnelConfigSheet::reflowDescription("A\nB\n\nCopyright 2024 me"), "\nA B\n\nCopyright 2024 me");
    EXPECT_EQ(SomnelConfigSheet::reflowDescription("A\nCopyright x\n  indented\nhttp://a.b/ c\nD"),
              "\nA\nCopyright x\n  indented\nhttp://a.b/ c D");
    EXPECT_EQ(SomnelConfigSheet::reflowDescription("\n\nA\n\n\n\nB\n\n"), "\nA\n\n\n\n\n\nB");
    EXPECT_EQ(SomnelConfigSheet::reflowDescription("\n\n"), "\n");
    EXPECT_EQ(SomnelConfigSheet::reflowDescription(""), "\n");
}

TEST(SheetDescription, LinkAnchorsNameTheEncyclopediaArticle) {
    const std::string wiki = SomnelConfigSheet::kGeneralEncyclopediaBase;
    const std::string math = SomnelConfigSheet::kMathEncyclopediaBase;
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(wiki + "Water_wave#Ripples"), "Wikipedia: \"Water wave: Ripples\"");
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(wiki + "Caf%C3%A9_au_lait"), "Wikipedia: \"Caf\xc3\xa9 au lait\"");
    // A "%" without two hex digits stays as written.
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(wiki + "100%_rain%"), "Wikipedia: \"100% rain%\"");
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(wiki + "A%zz%4"), "Wikipedia: \"A%zz%4\"");
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(math + "WaveEquation.html"), "MathWorld: \"Wave Equation\"");
    EXPECT_EQ(SomnelConfigSheet::linkAnchor(math + "Ripple"), "MathWorld: \"Ripple\"");
    EXPECT_EQ(SomnelConfigSheet::linkAnchor("http://example.org/x"), "http://example.org/x");
}

// The description view's text with each link as [anchor|href] and the bold span as *...*.
std::string rendered(QTextDocument *doc) {
    std::string out;
    bool bold = false;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b != doc->begin()) out += "\n";
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment f = it.fragment();
            QTextCharFormat fmt = f.charFormat();
            const bool fb = fmt.fontWeight() >= QFont::Bold;
            if (fb != bold) out += "*", bold = fb;
            if (fmt.isAnchor())
                out += "[" + f.text().toStdString() + "|" + fmt.anchorHref().toStdString() + "]";
            else
                out += f.text().toStdString();
        }
    }
    return out + (bold ? "*" : "");
}

QTextDocument *descriptionOf(SomnelConfigSheet *sheet) {
    for (QWidget *v : somnel::sheet::subviews(sheet->panel()))
        if (auto *d = dynamic_cast<somnel::sheet::DescriptionView *>(v)) return d->document();
    return nullptr;
}

TEST_F(SheetRules, DescriptionRendersLinksCopyrightLinesAndTheBoldLead) {
    const std::string wiki = SomnelConfigSheet::kGeneralEncyclopediaBase;
    const std::string math = SomnelConfigSheet::kMathEncyclopediaBase;
    auto sheet = build(
        "<screensaver name=\"t\" _label=\"T\"><_description>\n"
        "Rain on water, then ripples.\n"
        "See " + wiki + "Capillary_wave and\n" + math + "WaveEquation.html for more.\n"
        "\n\n\n"
        "Copyright 2024 the authors.\n"
        "</_description></screensaver>");
    QTextDocument *doc = descriptionOf(sheet.get());
    ASSERT_TRUE(doc);
    EXPECT_EQ(rendered(doc), "\n*Rain on water,* then ripples. See [Wikipedia: \"Capillary wave\"|" + wiki +
                                 "Capillary_wave] and\n[MathWorld: \"Wave Equation\"|" + math +
                                 "WaveEquation.html] for more.\n\n\n\n\n\nCopyright 2024 the authors.");

    // Without a comma there is no bold lead.
    sheet = build("<screensaver name=\"t\" _label=\"T\"><_description>No comma here</_description></screensaver>");
    EXPECT_EQ(rendered(descriptionOf(sheet.get())), "\nNo comma here");
}

// ------------------------------------------------------------ assembly

TEST_F(SheetRules, APanelWithOnlyADescriptionIs420Wide) {
    auto sheet = build("<screensaver name=\"t\" _label=\"T\"><_description>Hello.</_description></screensaver>");
    QWidget *panel = sheet->panel();
    EXPECT_EQ(frameOf(panel).size.width, 420);
    auto views = somnel::sheet::subviews(panel);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(frameOf(views[0]).size.width, 380);
    EXPECT_EQ(frameOf(views[0]).origin.x, 20);
    EXPECT_EQ(frameOf(views[0]).origin.y, 40);  // the strip for the button bar
    EXPECT_GE(frameOf(views[0]).size.height, 50);
    EXPECT_EQ(sheet->saverName(), "T");
}

TEST_F(SheetRules, AWideControlWidensThePanelAndTheDescription) {
    // Three 150-wide sliders in a row: 470 wide, placed at 20.
    auto sheet = build(root("<hgroup>"
                            "<number id=\"a\" type=\"slider\" arg=\"-dps %\" low=\"0\" high=\"9\" default=\"1\"/>"
                            "<number id=\"b\" type=\"slider\" arg=\"-speed %\" low=\"0\" high=\"9\" default=\"1\"/>"
                            "<number id=\"c\" type=\"slider\" arg=\"-ripheight %\" low=\"0\" high=\"9\" default=\"1\"/>"
                            "</hgroup>"));
    EXPECT_EQ(frameOf(sheet->panel()).size.width, 490 + 20);
    QTextDocument *doc = descriptionOf(sheet.get());
    ASSERT_TRUE(doc);
    for (QWidget *v : somnel::sheet::subviews(sheet->panel())) {
        if (dynamic_cast<somnel::sheet::DescriptionView *>(v)) {
            EXPECT_EQ(frameOf(v).size.width, 490 - 20);
        }
    }
    auto *a = sheet->controlForKey("dps"), *c = sheet->controlForKey("ripheight");
    EXPECT_EQ(frameOf(a).origin.x, 0);
    EXPECT_EQ(frameOf(c).origin.x, 320);
}

TEST_F(SheetRules, ThePanelIsClippedAt550) {
    std::unique_ptr<QWidget> panel(somnel::sheet::makeView(Rect::make(0, 0, 420, 600)));
    EXPECT_EQ(captureStderr([&] { SomnelConfigSheet::clipPanelHeight(panel.get()); }),
              "test: QWidget height was 600; clipping to 550\n");
    EXPECT_EQ(frameOf(panel.get()).size.height, 550);
    EXPECT_EQ(captureStderr([&] { SomnelConfigSheet::clipPanelHeight(panel.get()); }), "");

    std::string longText;
    for (int i = 0; i < 80; ++i) longText += "Paragraph " + std::to_string(i) + ".\n\n";
    std::unique_ptr<SomnelConfigSheet> sheet;
    std::string log = captureStderr([&] {
        sheet = build("<screensaver name=\"t\" _label=\"T\"><_description>" + longText +
                      "</_description></screensaver>");
    });
    EXPECT_THAT(log, MatchesRegex("test: QWidget height was [0-9]+; clipping to 550\n"));
    EXPECT_EQ(frameOf(sheet->panel()).size.height, 550);
}

TEST_F(SheetRules, ButtonBarOKFlushRightCancelTenToItsLeft) {
    auto sheet = build(root("<boolean id=\"f\" _label=\"Show frame rate\" arg-set=\"-fps\"/>"));
    QWidget *bar = sheet->okButton()->parentWidget();
    const Rect ok = frameOf(sheet->okButton()), cancel = frameOf(sheet->cancelButton()),
               reset = frameOf(sheet->resetButton());
    EXPECT_EQ(ok.size.width, 68);
    EXPECT_EQ(cancel.size.width, 68);
    EXPECT_EQ(ok.origin.x + ok.size.width, frameOf(bar).size.width);
    EXPECT_EQ(cancel.origin.x + cancel.size.width + 10, ok.origin.x);
    EXPECT_EQ(reset.origin.x, 0);
    EXPECT_EQ(ok.origin.y, cancel.origin.y);
    EXPECT_EQ(sheet->okButton()->text(), "OK");
    EXPECT_EQ(sheet->cancelButton()->text(), "Cancel");
    EXPECT_EQ(sheet->resetButton()->text(), "Reset to Defaults");
    EXPECT_TRUE(sheet->okButton()->isDefault());
    // The bar spans the panel and lies in its bottom strip.
    EXPECT_EQ(frameOf(sheet->buttonBar()).size.width, frameOf(sheet->panel()).size.width);
    EXPECT_LE(frameOf(sheet->buttonBar()).size.height, 45);
}

TEST_F(SheetRules, TheDescriptionLiesUnderEveryControl) {
    auto sheet = build(root("<number id=\"s\" type=\"spinbutton\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" "
                            "high=\"50\" default=\"5\"/><somnel-image/>"));
    double lowest = 1e9;
    QWidget *desc = nullptr;
    for (QWidget *v : somnel::sheet::subviews(sheet->panel())) {
        if (dynamic_cast<somnel::sheet::DescriptionView *>(v)) desc = v;
        else lowest = std::min(lowest, frameOf(v).origin.y);
    }
    ASSERT_TRUE(desc);
    EXPECT_EQ(frameOf(desc).origin.y + frameOf(desc).size.height + 10, lowest);
    EXPECT_EQ(frameOf(desc).origin.y, 40);
}

// ------------------------------------------------------------ description errors

TEST_F(SheetRules, EveryDescriptionErrorHasItsMessage) {
    const std::string number = "<number id=\"n\" type=\"slider\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" "
                               "high=\"9\" default=\"1\"";
    struct Case {
        std::string body, message;
    } cases[] = {
        {"<screensaver name=\"t\"><_description>d</_description></screensaver>", "no _label in screensaver"},
        {"<screensaver _label=\"My Saver\"><_description>d</_description></screensaver>", "no name in \"My Saver\""},
        {"<saver name=\"t\" _label=\"T\"><_description>d</_description></saver>", "top level node is not <somnel>"},
        {"<screensaver name=\"t\" _label=\"T\" size=\"2\"/>", "unknown attribute \"size\" in \"screensaver\""},
        {root("<boolean arg-set=\"-fps\"/>"), "no _label in boolean"},
        {root("<boolean _label=\"FPS\"/>"), "neither arg-set nor arg-unset provided in \"FPS\""},
        {root("<boolean _label=\"FPS\" arg-set=\"\"/>"), "neither arg-set nor arg-unset provided in \"FPS\""},
        {root("<boolean _label=\"FPS\" arg-set=\"-fps\" arg-unset=\"-no-fps\"/>"),
         "only one of arg-set and arg-unset may be used in \"FPS\""},
        {root("<boolean _label=\"FPS\" arg-set=\"-fps\" colour=\"red\"/>"),
         "unknown attribute \"colour\" in \"boolean\""},
        {root("<boolean _label=\"FPS\" arg-set=\"-fps 1\"/>"), "expected no args to switch: \"-fps 1\""},
        {root("<number id=\"n\" type=\"slider\" _label=\"Drops\" low=\"0\" high=\"9\" default=\"1\"/>"),
         "no arg in Drops"},
        {root("<number id=\"n\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" high=\"9\" default=\"1\"/>"),
         "no type in Drops"},
        {root("<number type=\"slider\" arg=\"-dps %\" _label=\"Drops\" high=\"9\" default=\"1\"/>"), "no low in number"},
        {root("<number type=\"slider\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" default=\"1\"/>"), "no high in number"},
        {root("<number type=\"slider\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" high=\"9\"/>"), "no default in number"},
        {root(number + " convert=\"log\"/>"), "if provided, \"convert\" must be \"invert\" in Drops"},
        {root("<number type=\"dial\" arg=\"-dps %\" _label=\"Drops\" low=\"0\" high=\"9\" default=\"1\"/>"),
         "unknown type \"dial\" in \"Drops\""},
        {root("<number type=\"spinbutton\" arg=\"-dps %\" low=\"0\" high=\"9\" default=\"1\"/>"),
         "no _label in spinbutton number"},
        {root("<number type=\"spinbutton\" arg=\"-dps %\" _label=\"D\" _low-label=\"l\" low=\"0\" high=\"9\" "
              "default=\"1\"/>"),
         "low-label not allowed in spinbutton \"number\""},
        {root("<number type=\"spinbutton\" arg=\"-dps %\" _label=\"D\" _high-label=\"h\" low=\"0\" high=\"9\" "
              "default=\"1\"/>"),
         "high-label not allowed in spinbutton \"number\""},
        {root("<number type=\"spinbutton\" arg=\"-dps %\" _label=\"D\" convert=\"invert\" low=\"0\" high=\"9\" "
              "default=\"1\"/>"),
         "convert not allowed in spinbutton \"number\""},
        {root("<number type=\"slider\" arg=\"-dps\" _label=\"Drops\" low=\"0\" high=\"9\" default=\"1\"/>"),
         "expected args to switch: \"-dps\""},
        {root("<select id=\"m\"/>"), "no menu items in \"select\""},
        {root("<select id=\"m\"><option arg-set=\"-wrap\"/></select>"), "no _label in option"},
        {root("<select id=\"m\"><option _label=\"B\" arg-set=\"-bare\"/></select>"), "this_val null for -bare"},
        {root("<select id=\"m\"><option _label=\"A\" arg-set=\"-dps 1\"/><option _label=\"B\" arg-set=\"-speed "
              "2\"/></select>"),
         "multiple resources in menu: \"dps\" vs \"speed\" = \"2\""},
        {root("<select id=\"m\"><option _label=\"A\"/><option _label=\"Second\"/></select>"),
         "no arg-set in \"Second\""},
        {root("<select id=\"quality\"><option _label=\"A\"/>\n</select>"), "no switches in menu \"quality\""},
        {root("<select id=\"m\"><option _label=\"Default\"/><option _label=\"B\" arg-set=\"-nodef 2\"/></select>"),
         "no default value for resource \"nodef\" in menu item \"Default\""},
        {root("<select id=\"m\"><option _label=\"A\" arg-set=\"-missing 1\"/></select>"),
         "\"-missing 1\" not present in options"},
        {root("<string _label=\"Name\"/>"), "no arg in Name"},
        {root("<file arg=\"-text-file %\"/>"), "no _label in file"},
        {root("<file _label=\"File\"/>"), "no arg in File"},
        {root("<knob/>"), "unknown tag: knob"},
        {root("stray words"), "unexpected text: stray words"},
    };
    for (const Case &c : cases) EXPECT_EQ(failure(c.body), c.message) << c.body;

    // The root's own _description: the routine and line, then the slip.
    const std::string noDescription = "abort in fix_contentview_size:[0-9]+: no <_description> directly inside "
                                      "<screensaver> \\(one inside a group does not count\\)";
    EXPECT_THAT(failure("<screensaver name=\"t\" _label=\"T\"/>"),
                MatchesRegex("abort in fix_contentview_size:[0-9]+: <screensaver> holds nothing to show: it needs "
                             "a <_description> of its own"));
    EXPECT_THAT(failure("<screensaver name=\"t\" _label=\"T\"><boolean _label=\"F\" arg-set=\"-fps\"/></screensaver>"),
                MatchesRegex(noDescription));
    EXPECT_THAT(failure("<screensaver name=\"t\" _label=\"T\"><vgroup><_description>d</_description></vgroup>"
                        "</screensaver>"),
                MatchesRegex(noDescription));
    EXPECT_THAT(failure("<screensaver name=\"t\" _label=\"T\"><boolean></screensaver>"),
                MatchesRegex("XML Error: .*saver.xml: .+ \\(line 1, column [0-9]+\\)"));

    // A file that cannot be read, and no path at all.
    const std::string missing = dir_.file("missing.xml");
    EXPECT_EQ(abortReason([&] { create(missing); }), "XML Error: " + missing);
    EXPECT_EQ(abortReason([&] { create(""); }), "can't URLify \"\"");

    // Duplicate attributes cannot come from a file (the reader refuses
    // them); the check itself still holds.
    SimpleXMLNode node("number");
    node.setAttributesAsDictionary({{"arg", "-a"}, {"arg", "-b"}});
    std::map<std::string, std::string> dict{{"arg", ""}};
    EXPECT_EQ(abortReason([&] { SomnelConfigSheet::parseAttrs(dict, &node); }), "duplicate arg: \"-a\", \"-b\"");
}

TEST_F(SheetRules, CheckBoxWarningsAreLoggedNotFatal) {
    std::string log = captureStderr([&] {
        build(root("<boolean _label=\"Grab\" arg-set=\"-no-grab-desktop\"/>"
                   "<boolean _label=\"Random\" arg-unset=\"-choose-random-images\"/>"));
    });
    EXPECT_EQ(log,
              "test: arg-set should not be a \"no\" option in \"Grab\": -no-grab-desktop\n"
              "test: arg-unset should be a \"no\" option in \"Random\": -choose-random-images\n");
}

}  // namespace

namespace {

// ------------------------------------------------------------ hostile descriptions

std::string nested(int groups, const std::string &inside) {
    std::string open, close;
    for (int i = 0; i < groups; ++i) {
        open += "<hgroup>";
        close += "</hgroup>";
    }
    return open + inside + close;
}

// A description past a cap is refused in one line naming the cap, before
// a widget is made; one that is no regular file is refused unread (deep
// nesting once overflowed the stack, a FIFO was "does not exist").
TEST_F(SheetRules, ADescriptionPastItsCapsIsRefusedInOneLine) {
    const std::string box = "<boolean _label=\"W\" arg-set=\"-wrap\"/>";
    // The root, 30 groups and the box: 32 deep, as deep as may be.
    EXPECT_EQ(failure(root(nested(30, box))), "<no exception>");
    EXPECT_THAT(failure(root(nested(31, box))),
                MatchesRegex("XML Error: .*saver.xml: elements nested deeper than 32 \\(the most a description may "
                             "nest\\) \\(line [0-9]+, column [0-9]+\\)"));
    std::string many;
    for (int i = 0; i < 1998; ++i) many += "<command/>";
    EXPECT_EQ(failure(root(many)), "<no exception>");  // with the root and the description: 2000
    EXPECT_THAT(failure(root(many + "<command/>")),
                MatchesRegex("XML Error: .*saver.xml: more than 2000 elements \\(the most a description may hold\\) "
                             "\\(line [0-9]+, column [0-9]+\\)"));
    EXPECT_THAT(failure(root("<!--" + std::string(1024 * 1024, '-') + "-->")),
                MatchesRegex("XML Error: .*saver.xml: larger than 1048576 bytes \\(the most a description may hold\\)"));

    const std::string fifo = dir_.file("fifo.xml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(abortReason([&] { create(fifo); }), "XML Error: " + fifo + ": not a regular file");
}

// Ranges far past an int, or no numbers at all, build without a double
// made into an out-of-range int, and an untouched sheet changes nothing
// on OK (a spin button once stored 0 over the default of 16).
TEST_F(SheetRules, HugeOrBrokenRangesNeverChangeAStoredValue) {
    const std::pair<const char *, const char *> ranges[] = {
        {"-3000000000", "3000000000"}, {"-1e300", "1e300"}, {"nan", "nan"}, {"-inf", "inf"}, {"5", "1"}};
    for (const auto &[low, high] : ranges) {
        for (const char *type : {"spinbutton", "slider"}) {
            SCOPED_TRACE(std::string(type) + " " + low + ".." + high);
            auto sheet = build(root(std::string("<number type=\"") + type + "\" arg=\"-dps %\" _label=\"D\" low=\"" +
                                    low + "\" high=\"" + high + "\" default=\"16\"/>"));
            sheet->commitEditing();
            EXPECT_FALSE(sheet->userDefaultsController()->hasUnappliedChanges());
            EXPECT_EQ(sheet->userDefaultsController()->value("dps"), Value(16LL));
        }
    }
}

// A sheet wider than the screen is cut to it, as a tall one is, so that OK
// and Cancel stay on the screen.
TEST_F(SheetRules, AWideSheetStaysOnTheScreen) {
    std::unique_ptr<SomnelConfigSheet> sheet;
    const std::string log = captureStderr(
        [&] { sheet = build(root("<boolean _label=\"" + std::string(3000, 'W') + "\" arg-set=\"-wrap\"/>")); });
    EXPECT_THAT(log, MatchesRegex("test: QWidget width was [0-9]+; clipping to [0-9]+\n"));
    EXPECT_LE(sheet->width(), SomnelConfigSheet::maxPanelWidth() + 60);
    const QPoint okRight = sheet->okButton()->mapTo(sheet.get(), sheet->okButton()->rect().topRight());
    EXPECT_LT(okRight.x(), sheet->width());
}

// A binding that fails in the "Display Text" box (no "-text-mode" among
// the saver's rows) leaves no widget behind (two once leaked).
TEST_F(SheetRules, AFailedBindingInTheTextBoxLeavesNoWidget) {
    const std::string path = write(root("<somnel-text/>"));
    const auto before = QApplication::allWidgets().size();
    EXPECT_EQ(abortReason([&] {
                  SomnelConfigSheet::create(path, testsupport::kHackRows, reader_->userDefaultsController(),
                                            &reader_->defaultOptions());
              }),
              "\"-text-mode %\" not present in options");
    EXPECT_EQ(QApplication::allWidgets().size(), before);
}

}  // namespace
