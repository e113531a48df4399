// The description reader: the events it delivers, its well-formedness
// errors, and the tree built from its events.
#include "tests/support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/sheet/simple_xml.h"
#include "platform/log.h"

#include <string>
#include <vector>

namespace {

using testsupport::abortReason;
using testsupport::captureStderr;
using ::testing::MatchesRegex;

// Records the reader's events as one line each.
struct Recorder : somnel::sheet::SimpleXMLDelegate {
    std::vector<std::string> events;
    void didStartElement(const std::string &name,
                         const std::vector<std::pair<std::string, std::string>> &attrs) override {
        std::string e = "start " + name;
        for (auto &[k, v] : attrs) e += " " + k + "=" + v;
        events.push_back(e);
    }
    void didEndElement(const std::string &name) override { events.push_back("end " + name); }
    void foundCharacters(const std::string &text) override { events.push_back("text " + text); }
};

TEST(SheetXML, DeliversElementsAndTextButNotCommentsInstructionsOrCDATA) {
    Recorder r;
    std::string error;
    ASSERT_TRUE(somnel::sheet::parseXML("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a x=\"1\" y=\"&amp;\">hi<!-- no --><?pi "
                         "no?><![CDATA[no]]><b/>caf\xe9</a>",
                         &r, &error))
        << error;
    EXPECT_EQ(r.events, (std::vector<std::string>{"start a x=1 y=&", "text hi", "start b", "end b",
                                                  "text caf\xc3\xa9", "end a"}));
}

TEST(SheetXML, AMismatchedOrExtraCloseIsAWellFormednessErrorBeforeTheDelegateSeesIt) {
    for (const char *doc : {"<a><b></a></b>", "<a></a></b>", "<a></a><c/>"}) {
        Recorder r;
        std::string error;
        EXPECT_FALSE(somnel::sheet::parseXML(doc, &r, &error)) << doc;
        EXPECT_THAT(error, MatchesRegex(".+ \\(line 1, column [0-9]+\\)")) << doc;
        for (const std::string &e : r.events) EXPECT_NE(e, "end b") << doc;
    }
}

TEST(SheetXML, TheTreeBuilderLogsClosesThatMatchNothingAndLeavesTheTreeAsItWas) {
    platform::setLogProgramName("test");
    somnel::sheet::SimpleXMLTreeBuilder b;
    b.didStartElement("screensaver", {{"name", "t"}});
    b.foundCharacters("one");
    b.foundCharacters("two");
    b.didStartElement("boolean", {});
    std::string log = captureStderr([&] { b.didEndElement("number"); });
    EXPECT_EQ(log, "test: boolean closed by number\n");
    EXPECT_EQ(b.xml_parsing->name(), "boolean");
    b.didEndElement("boolean");
    b.didEndElement("screensaver");
    EXPECT_EQ(b.xml_parsing, nullptr);
    EXPECT_EQ(captureStderr([&] { b.didEndElement("screensaver"); }), "test: extra close: screensaver\n");
    b.foundCharacters("dropped");

    const SimpleXMLNode *root = b.xml_root;
    ASSERT_TRUE(root->children());
    ASSERT_EQ(root->children()->size(), 3u);  // a run of text may come as several nodes
    EXPECT_EQ((*root->children())[0]->kind(), SimpleXMLTextKind);
    EXPECT_EQ((*root->children())[1]->objectValue(), "two");
    EXPECT_EQ((*root->children())[2]->parent(), root);
    EXPECT_EQ(root->attributes()[0]->kind(), SimpleXMLAttributeKind);
    EXPECT_EQ(abortReason([&] { (*root->children())[2]->setParent(b.xml_root); }), "parent already set");
}

}  // namespace
