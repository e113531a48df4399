// The parsed form of a saver's XML description: elements with their
// attributes, and runs of character data, in document order.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

enum SimpleXMLKind : int {
    SimpleXMLNoKind = 0,
    SimpleXMLElementKind = 1,
    SimpleXMLAttributeKind = 2,
    SimpleXMLTextKind = 3,
};

// One node of the description tree. Nodes are held by a SimpleXMLTree (or by
// whoever made a detached node); parents and children refer to each other
// without owning.
class SimpleXMLNode {
public:
    SimpleXMLNode() = default;
    explicit SimpleXMLNode(const std::string &name) : kind_(SimpleXMLElementKind), name_(name) {}
    SimpleXMLNode(const SimpleXMLNode &) = delete;
    SimpleXMLNode &operator=(const SimpleXMLNode &) = delete;

    // One attribute node per entry, in the given order.
    void setAttributesAsDictionary(const std::vector<std::pair<std::string, std::string>> &attributes);

    // Attaches the node as its parent's last child. A null parent leaves it
    // detached. A node can be attached once: a second call is a description
    // error ("parent already set").
    void setParent(SimpleXMLNode *parent);

    SimpleXMLNode *parent() const { return parent_; }
    SimpleXMLKind kind() const { return kind_; }
    void setKind(SimpleXMLKind k) { kind_ = k; }
    const std::string &name() const { return name_; }
    void setName(const std::string &n) { name_ = n; }
    // Null until the first child is attached.
    const std::vector<SimpleXMLNode *> *children() const { return children_.get(); }
    const std::vector<std::unique_ptr<SimpleXMLNode>> &attributes() const { return attributes_; }
    const std::string &objectValue() const { return object_; }
    void setObjectValue(const std::string &v) { object_ = v; }

    // A one-line description for messages.
    std::string description() const;

private:
    SimpleXMLKind kind_ = SimpleXMLNoKind;
    std::string name_;
    SimpleXMLNode *parent_ = nullptr;
    std::unique_ptr<std::vector<SimpleXMLNode *>> children_;
    std::vector<std::unique_ptr<SimpleXMLNode>> attributes_;
    std::string object_;
};

namespace somnel::sheet {

// Holds every node made while one description is read.
class SimpleXMLTree {
public:
    SimpleXMLNode *make(std::unique_ptr<SimpleXMLNode> node) {
        nodes_.push_back(std::move(node));
        return nodes_.back().get();
    }
    void clear() { nodes_.clear(); }

private:
    std::vector<std::unique_ptr<SimpleXMLNode>> nodes_;
};

// The three events of an event-driven XML reader. Comments, processing
// instructions and CDATA sections are not delivered.
class SimpleXMLDelegate {
public:
    virtual ~SimpleXMLDelegate() = default;
    virtual void didStartElement(const std::string &name,
                                 const std::vector<std::pair<std::string, std::string>> &attributes) = 0;
    virtual void didEndElement(const std::string &name) = 0;
    virtual void foundCharacters(const std::string &text) = 0;
};

// Builds the description tree from the reader's events: xml_root is the
// first element started, xml_parsing the element open now.
class SimpleXMLTreeBuilder : public SimpleXMLDelegate {
public:
    void didStartElement(const std::string &name,
                         const std::vector<std::pair<std::string, std::string>> &attributes) override;
    // A close that matches no open element is logged and changes nothing.
    void didEndElement(const std::string &name) override;
    // One text node per call; characters outside any element are dropped.
    void foundCharacters(const std::string &text) override;

    SimpleXMLNode *xml_root = nullptr;
    SimpleXMLNode *xml_parsing = nullptr;
    // Drops the tree.
    void clear();

private:
    SimpleXMLTree nodes_;
};

// Caps on what parseXML reads; 0 is no cap.
struct XMLLimits {
    std::size_t depth = 0;     // elements nested in one another, the root included
    std::size_t elements = 0;  // elements in all
};

// Reads the XML text and calls the delegate for each event, in order.
// Returns false at the first well-formedness error, or where the text
// passes a cap, with the reader's message or the cap (and where it
// stopped) in *error.
bool parseXML(const std::string &data, SimpleXMLDelegate *delegate, std::string *error,
              const XMLLimits &limits = XMLLimits());

}  // namespace somnel::sheet
