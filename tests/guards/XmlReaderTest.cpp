#include "XmlReader.h"
#include <gtest/gtest.h>

namespace
{
const guards::XmlRules loose { 1 << 20, 1000, 1000, 64 }, strict { 1 << 20, 4, 2, 2, true };
enum class Reading
{
    refused,
    read,
    incomplete
};
constexpr auto refused = Reading::refused, whole = Reading::read, incomplete = Reading::incomplete;
} // namespace

TEST (XmlReader, ReadsWhatXmlSaysAndMarksWhatItDoesNotKeep)
{
    const std::tuple<std::string, const guards::XmlRules&, Reading> cases[] = {
        { "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"1\" y='&lt;&amp;&quot;&#10;&#x1F600;'><!-- c --><b/>\r\n</a>\n<!-- end -->", strict, whole },
        { "\xef\xbb\xbf<a/>", strict, whole },
        { "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a x=\"\xe9\"/>", loose, whole },
        { std::string ("\xff\xfe<\0a\0/\0>\0", 10), loose, whole }, // UTF-16, by its mark
        { "<!DOCTYPE a [<!ENTITY e SYSTEM \"/dev/zero\">]><a>&e;</a>", loose, refused },
        { "<a><?pi?></a>", loose, whole },
        { "<a x=\"&#x", loose, refused },
        { "<a x=\"&#0000000000065;\" y=\"1\t2\"/>", loose, whole }, // the framework reads neither as XML does, and never sees them
        { "<a\xc3\xa9/>", loose, incomplete }, // a name the framework's parser may end early
        { "<a x=\"\xc3\xa9\xf0\x9f\x98\x80\"/>", loose, whole },
        { "<a x=\"&#1;\"/>", loose, refused }, // what the framework writes for a control character
        { "<a><b x=\"&#1;\"/><c>&#xFFFE;</c><d>&#x20;</d></a>", strict, incomplete },
        { "<a><b/><b/><b/></a>", strict, whole },
        { "<a><b/><b/><b/><b/></a>", strict, incomplete }, // elements
        { "<a><b><c/></b></a>", strict, incomplete }, // depth
        { "<a x=\"\" y=\"\" z=\"\"/>", strict, incomplete }, // attributes of one element
        { "<a x=\"" + std::string (1 << 20, 'x') + "\"/>", loose, refused }, // bytes
    };
    for (const auto& [text, rules, expected] : cases)
    {
        const auto root = guards::readXml (text.data(), text.size(), rules);
        EXPECT_EQ (! root.has_value() ? refused : guards::isIncompleteAnywhere (*root) ? incomplete
                                                                                       : whole,
                   expected)
            << text.substr (0, 80);
    }
}

TEST (XmlReader, KeepsTextAndWhatBreaksABoundWhereItStood)
{
    const std::string text = "<a>x<b y=\"&#1;\" z=\"2\"/><b>&#0000000000032;<![CDATA[ ]]></b><b>&#xB;</b><b>&#x20;<c/><c/></b></a>";
    const auto root = guards::readXml (text.data(), text.size(), { 1000, 5, 3, 1, true });
    ASSERT_TRUE (root.has_value());
    EXPECT_TRUE (root->hasText && ! root->incomplete);
    const auto& b = root->children;
    ASSERT_EQ (b.size(), 4u);
    EXPECT_EQ (b[0].attributes, (std::vector<std::pair<std::string, std::string>> { { "y", "    " } }));
    EXPECT_TRUE (b[0].incomplete); // the reference, and the attribute beyond the bound
    EXPECT_TRUE (b[1].hasText && ! b[1].incomplete);
    EXPECT_TRUE (! b[2].hasText && b[2].incomplete);
    EXPECT_TRUE (! b[3].hasText && b[3].incomplete && b[3].children.size() == 0u); // no room left for its children
}
