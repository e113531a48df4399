// The configuration sheet: a dialog built at run time from a saver's XML
// description. Every option element becomes a control bound to the
// preference key that its command-line switch sets; OK stores the edits,
// Cancel drops them, "Reset to Defaults" shows the built-in values again.
//
// A description that breaks the vocabulary's rules stops construction with
// platform::InternalInconsistencyException carrying a short message.
#pragma once

#include <QDialog>

#include "framework/sheet/simple_xml.h"
#include "platform/geometry.h"
#include "platform/preferences.h"
#include "platform/value.h"
#include "somnel/xrm_options.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What a description may hold. A real one is a few kilobytes, a few
// levels deep, a few dozen elements; past these it is refused with one
// line naming the limit, before a widget is made.
struct DescriptionLimits {
    std::size_t bytes = 1024 * 1024;  // the file's size
    std::size_t depth = 32;           // elements nested in one another, the root included
    std::size_t elements = 2000;      // elements in all, menu items included
};

class SomnelConfigSheet : public QDialog {
public:
    // Reads the description at path and builds the whole sheet. opts is the
    // saver's option table (ended by a row whose switch is null),
    // controller the preference reader's editing controller, defaults its
    // built-in values. The sheet keeps copies of the rows (texts included)
    // and of the defaults: a view frees its merged rows when the next view
    // over the same saver sets up, and may go before the sheet does.
    // Building takes time linear in the number of elements.
    static std::unique_ptr<SomnelConfigSheet> create(const std::string &path, const XrmOptionDescRec *opts,
                                                     std::shared_ptr<platform::UserDefaultsController> controller,
                                                     const platform::ValueMap *defaults,
                                                     const DescriptionLimits &limits = DescriptionLimits());
    ~SomnelConfigSheet() override;

    const std::string &saverName() const { return saver_name; }
    std::shared_ptr<platform::UserDefaultsController> userDefaultsController() const {
        return userDefaultsController_;
    }

    // The three buttons. OK finishes edits and saves, then ends the dialog
    // with 1; Cancel drops the edits and ends it with 0; Reset shows every
    // built-in value again, stored only by a later OK.
    void okAction();
    void cancelAction();
    void resetAction();
    // Ends the edits in progress (a number typed but not yet taken), as OK
    // does before it saves. A sheet nobody touched has nothing to end.
    void commitEditing();

    // Buttons and the content, for the host and for tests.
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }
    QPushButton *resetButton() const { return reset_; }
    QWidget *panel() const { return panel_; }
    QWidget *buttonBar() const { return buttonBar_; }
    // The control bound to key (the first, when several are), or null.
    QWidget *controlForKey(const std::string &key) const;
    std::vector<QWidget *> controlsForKey(const std::string &key) const;

    // ------------------------------------------------ rules without state

    // Checks an element's attributes against the allowed names (the keys of
    // dict, each with the value ""): fills in the given ones and removes the
    // names not given or given empty.
    static void parseAttrs(std::map<std::string, std::string> &dict, const SimpleXMLNode *node);

    // The resource key a switch text sets ("-dps 5" -> "dps"), with the
    // value it stands for in *valRet (empty optional: none). Failures are
    // description errors.
    static std::string switchToResource(const std::string &cmdline, const XrmOptionDescRec *opts,
                                        std::optional<std::string> *valRet);

    // Placement: a new row under the last placed view, or right of it.
    static void placeChild(QWidget *child, QWidget *parent, bool right = false);
    static QWidget *last_child(QWidget *parent);
    // Packs the view's subviews into a row or a column and sizes it around them.
    static void layout_group(QWidget *group, bool horizontal);
    // Step 13 of the assembly: a panel taller than 550 is logged and cut.
    static void clipPanelHeight(QWidget *panel);
    // The widest panel the screen shows whole, with the window around it;
    // a wider one is logged and cut, as a taller one is.
    static double maxPanelWidth();

    // A menu item's value: "yes"/"true" and "no"/"false" (any case) become
    // booleans, anything else passes through.
    static platform::Value menuItemObject(const std::string &value);

    // The description's text: paragraphs joined, breaks kept (see the
    // builder), starting with a line feed.
    static std::string reflowDescription(const std::string &text);
    // The text shown for a link (an encyclopedia title, or the URL itself).
    // Bytes from "%" escapes are kept as bytes (UTF-8 in practice).
    static std::string linkAnchor(const std::string &url);
    static const char *const kGeneralEncyclopediaBase;
    static const char *const kMathEncyclopediaBase;

    // Home-directory abbreviation ("/home/me/x" -> "~/x").
    static std::string abbreviateWithTilde(const std::string &path);

protected:
    void resizeEvent(QResizeEvent *e) override;
    void reject() override;  // window close and Escape: Cancel
    void accept() override;  // Return: OK

private:
    SomnelConfigSheet(const XrmOptionDescRec *opts, std::shared_ptr<platform::UserDefaultsController> controller,
                      const platform::ValueMap *defaults);
    void initWithXMLFile(const std::string &path, const DescriptionLimits &limits);

    std::string parseSomnelTag(const SimpleXMLNode *root);
    void traverseTree();
    void traverseChildren(const SimpleXMLNode *node, QWidget *parent);
    void makeControl(const SimpleXMLNode *node, QWidget *parent);
    void makeGroup(const SimpleXMLNode *node, QWidget *parent, bool horizontal);
    void fix_contentview_size(QWidget *panel);

    // Builders.
    QLabel *makeLabel(const std::string &text);
    void makeCheckbox(const SimpleXMLNode *node, QWidget *parent);
    void makeNumberSelector(const SimpleXMLNode *node, QWidget *parent);
    void makeOptionMenu(const SimpleXMLNode *node, QWidget *parent);
    void makeDescLabel(const SimpleXMLNode *node, QWidget *parent);
    void makeTextField(const SimpleXMLNode *node, QWidget *parent, bool withLabel, bool horizontal);
    void makeFileSelector(const SimpleXMLNode *node, QWidget *parent, bool dirsOnly, bool withLabel,
                          bool editable);
    void set_menu_item_object(QComboBox *menu, int index, const platform::Value &value);
    void makeTextLoaderControlBox(const SimpleXMLNode *node, QWidget *parent);
    void makeImageLoaderControlBox(const SimpleXMLNode *node, QWidget *parent);

    // The file picker behind a "Choose..." button.
    void fileSelectorChooseAction(QAbstractButton *sender);
    void fileSelectorChooseDirsAction(QAbstractButton *sender);
    static QLineEdit *find_text_field_of_button(QAbstractButton *button);
    void do_file_selector(QLineEdit *field, bool dirs);

    // Bindings: the control shows the controller's value for key and sends
    // edits back.
    void bindResource(QWidget *control, const std::string &key);
    // Sets the value behind a bound control directly, as an edit would.
    void storeForControl(QWidget *control, const platform::Value &value);
    void bindSwitch(QWidget *control, const std::string &cmdline);
    void showValue(const std::string &key);
    void userEdited(QWidget *control, const platform::Value &value);

    struct Binding {
        QWidget *control;
        std::string key;
        std::function<void()> show;    // controller -> control
        std::function<void()> commit;  // ends an edit in progress (text fields)
    };

    std::string saver_name;
    std::string label_;  // the root's _label, the window's title
    std::shared_ptr<platform::UserDefaultsController> userDefaultsController_;
    const platform::ValueMap *defaultOptions = nullptr;  // ownDefaults_
    const XrmOptionDescRec *opts = nullptr;              // ownRows_
    platform::ValueMap ownDefaults_;
    std::deque<std::string> rowTexts_;  // what ownRows_ points at
    std::vector<XrmOptionDescRec> ownRows_;
    somnel::sheet::SimpleXMLTreeBuilder xml_;  // the tree, while the sheet is built

    std::vector<Binding> bindings_;
    int observer_ = 0;
    bool showing_ = false;  // a binding is showing a value: not an edit

    QWidget *outer_ = nullptr;  // the window's content
    QWidget *panel_ = nullptr;
    QWidget *buttonBar_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr, *reset_ = nullptr;
};
