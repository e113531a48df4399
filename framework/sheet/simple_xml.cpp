// The description tree and the event reader over QXmlStreamReader.
#include "framework/sheet/simple_xml.h"

#include "platform/log.h"

#include <QByteArray>
#include <QXmlStreamReader>

void SimpleXMLNode::setAttributesAsDictionary(const std::vector<std::pair<std::string, std::string>> &attributes) {
    for (const auto &[key, value] : attributes) {
        auto a = std::make_unique<SimpleXMLNode>();
        a->kind_ = SimpleXMLAttributeKind;
        a->name_ = key;
        a->object_ = value;
        attributes_.push_back(std::move(a));
    }
}

void SimpleXMLNode::setParent(SimpleXMLNode *parent) {
    // The reader attaches each node once; a second attach would make the
    // node appear twice in the tree.
    SOMNEL_ASSERT(!parent_, "parent already set");
    if (!parent) return;
    parent_ = parent;
    if (!parent->children_) {
        parent->children_ = std::make_unique<std::vector<SimpleXMLNode *>>();
        parent->children_->reserve(10);
    }
    parent->children_->push_back(this);
}

std::string SimpleXMLNode::description() const {
    std::string d = "<SimpleXMLNode kind=" + std::to_string(int(kind_)) + " name=\"" + name_ + "\"";
    if (!object_.empty()) d += " value=\"" + object_ + "\"";
    return d + ">";
}

namespace somnel::sheet {

bool parseXML(const std::string &data, SimpleXMLDelegate *delegate, std::string *error, const XMLLimits &limits) {
    QXmlStreamReader reader(QByteArray::fromStdString(data));
    // Element and attribute names are taken as written, prefixes included.
    reader.setNamespaceProcessing(false);
    std::size_t depth = 0, elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            // Checked before the delegate sees the element: whatever builds
            // on the tree (recursively) never gets past the caps.
            ++depth;
            ++elements;
            if (limits.depth && depth > limits.depth)
                reader.raiseError(QString("elements nested deeper than %1 (the most a description may nest)")
                                      .arg(limits.depth));
            else if (limits.elements && elements > limits.elements)
                reader.raiseError(
                    QString("more than %1 elements (the most a description may hold)").arg(limits.elements));
            if (reader.hasError()) break;
            std::vector<std::pair<std::string, std::string>> attrs;
            for (const QXmlStreamAttribute &a : reader.attributes())
                attrs.emplace_back(a.qualifiedName().toString().toStdString(), a.value().toString().toStdString());
            delegate->didStartElement(reader.qualifiedName().toString().toStdString(), attrs);
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            delegate->didEndElement(reader.qualifiedName().toString().toStdString());
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isCDATA()) delegate->foundCharacters(reader.text().toString().toStdString());
            break;
        default:
            break;  // declarations, comments, processing instructions, DTDs
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = reader.errorString().toStdString() + " (line " + std::to_string(reader.lineNumber()) +
                     ", column " + std::to_string(reader.columnNumber()) + ")";
        return false;
    }
    return true;
}

void SimpleXMLTreeBuilder::didStartElement(const std::string &name,
                                           const std::vector<std::pair<std::string, std::string>> &attributes) {
    SimpleXMLNode *node = nodes_.make(std::make_unique<SimpleXMLNode>(name));
    node->setAttributesAsDictionary(attributes);
    node->setParent(xml_parsing);
    xml_parsing = node;
    if (!xml_root) xml_root = node;
}

// The reader stops at a mismatched or extra end tag as a well-formedness
// error before it gets here; the two lines are for callers that feed the
// events themselves.
void SimpleXMLTreeBuilder::didEndElement(const std::string &name) {
    if (!xml_parsing) {
        platform::log("extra close: %s", name.c_str());
    } else if (xml_parsing->name() != name) {
        platform::log("%s closed by %s", xml_parsing->name().c_str(), name.c_str());
    } else {
        xml_parsing = xml_parsing->parent();
    }
}

void SimpleXMLTreeBuilder::foundCharacters(const std::string &text) {
    if (!xml_parsing) return;  // outside any element: dropped
    SimpleXMLNode *node = nodes_.make(std::make_unique<SimpleXMLNode>("text"));
    node->setKind(SimpleXMLTextKind);
    node->setObjectValue(text);
    node->setParent(xml_parsing);
}

void SimpleXMLTreeBuilder::clear() {
    xml_root = xml_parsing = nullptr;
    nodes_.clear();
}

}  // namespace somnel::sheet
