#include "XmlReader.h"
#include <gtest/gtest.h>

namespace
{
const guards::XmlRules loose { 1 << 20, 1000, 64, 256, true }, strict { 1 << 20, 4, 2, 4, false, 100 };
} // namespace

TEST (XmlReader, ReadsOnlyWhatTheFrameworkReadsTheSameAndSafelyWithinItsBounds)
{
    const std::tuple<std::string, const guards::XmlRules&, bool> cases[] = {
        { "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"1\" y='&lt;&amp;&quot;&#10;&#x1F600;'><!-- c --><b/>\r\n</a>\n<!-- end -->", strict, true },
        { "\xef\xbb\xbf<a/>", strict, true },
        { "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", loose, false },
        { "<!DOCTYPE a [<!ENTITY e SYSTEM \"/dev/zero\">]><a>&e;</a>", loose, false },
        { "<a><?loop?>x</a>", loose, false }, // the framework's parser never ends on this
        { "<a x=\"&#x", loose, false }, // the framework's parser reads past the end
        { "<a x=\"&#00000000065;\" y=\"&#x0000041;\"/>", loose, true },
        { "<a x=\"&#0000000000065;\"/>", loose, false }, // more digits than the framework reads
        { "<a x=\"&#x000000041;\"/>", loose, false },
        { "<a x=\"1\t2\"/>", loose, false }, // a space to XML, a tab to the framework
        { "<a x=\"1\n2\"/>", loose, false },
        { "<a\tx=\"1\"\r\ny=\"2\"/>", loose, true },
        { "<a\xc3\xa9/>", loose, false }, // a name the framework's parser may end early
        { "<a x=\"\xc3\xa9\xf0\x9f\x98\x80\"/>", loose, true },
        { "<a>x<b/></a>", loose, true }, // text dropped
        { "<a>x<b/></a>", strict, false },
        { "<a><![CDATA[ ]]></a>", strict, false },
        { "<a>&#32;</a>", strict, true },
        { "<a>\xc2\xa0</a>", strict, false },
        { "<a><b/><b/><b/></a>", strict, true },
        { "<a><b/><b/><b/><b/></a>", strict, false }, // elements
        { "<a x=\"\" y=\"\" z=\"\"/>", strict, false }, // attributes of one element
        { "<a><b x=\"\"/><c y=\"\"/></a>", strict, false }, // names
        { "<!--" + std::string (100, ' ') + "--><a/>", strict, false }, // the root's start tag beyond the first look
        { "<a x=\"" + std::string (1 << 20, 'x') + "\"/>", loose, false }, // bytes
    };
    // What it reads, the framework's own parser reads into the same elements: the fuzz target "xml_reader".
    for (const auto& [text, rules, read] : cases)
        EXPECT_EQ (guards::readXml (text.data(), text.size(), rules) != nullptr, read) << text.substr (0, 80);
}
