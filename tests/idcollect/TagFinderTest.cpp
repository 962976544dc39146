// The markup element finder: which elements it takes, where they end, and what it hands back.

#include "idcollect/TagFinder.h"
#include "text/EventPump.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::idcollect {
namespace {

TEST(TagFinderTest, TagNamesMustEndWhereTheNameEnds)
{
    TagFinder f;
    // <link> and <body> are not li and b; <li> right after a link element is.
    const GbkText page = "<link rel=\"x\" href=\"a\"><li>one</li><body><b class=\"k\">2</b><b1>x</b1></body>";
    ASSERT_EQ(f.findAll(page, "li", {}, {}), 1);
    EXPECT_EQ(f.foundElement(1), "<li>one</li>");
    EXPECT_EQ(f.findElement(page, "B", {"class"}, {"K"}), "<b class=\"k\">2</b>");
    EXPECT_EQ(f.findAll(page, "b", {}, {}), 1);
}

TEST(TagFinderTest, NestedElementsOfTheSameNameBalance)
{
    TagFinder f;
    const GbkText list = "<ul class=\"shop-list\"><li>a<ul class=\"sub\"><li>b</li></ul></li></ul>";
    const GbkText page = "<div>" + list + "<ul class=\"other\"><li>c</li></ul></div>";
    EXPECT_EQ(f.findElement(page, "ul", {"class"}, {"shop-list"}), list);
    ASSERT_EQ(f.findAll(list, "li", {}, {}), 2);
    EXPECT_EQ(f.foundElement(1), "<li>a<ul class=\"sub\"><li>b</li></ul></li>");
    EXPECT_EQ(f.foundElement(2), "<li>b</li>");
    EXPECT_EQ(f.foundElement(0), "");
    EXPECT_EQ(f.foundElement(3), "");

    // Without a balancing closing tag an element is its opening tag alone; stray closing
    // tags before it change nothing; "/>" ends an element at once.
    ASSERT_EQ(f.findAll("</li><li>x<li>y</li><li class=\"z\"/><p>", "li", {}, {}), 3);
    EXPECT_EQ(f.foundElement(1), "<li>");
    EXPECT_EQ(f.foundElement(2), "<li>y</li>");
    EXPECT_EQ(f.foundElement(3), "<li class=\"z\"/>");
    EXPECT_EQ(f.findAll("<li", "li", {}, {}), 0) << "an opening tag without '>' is not an element";
}

TEST(TagFinderTest, AttributeConditions)
{
    TagFinder f;
    // Quoted, apostrophe and bare values; the whole value compared unless asked to contain.
    const GbkText page = "<dl class=\"item\">1</dl><dl class='item last'>2</dl><dl class=item>3</dl>"
                         "<dl class=\"item ad\">4</dl><dl id=\"item\">5</dl><dl class=\" ITEM \">6</dl>";
    ASSERT_EQ(f.findAll(page, "dl", {"class", "class"}, {"item", "item last"}), 4);
    EXPECT_EQ(f.foundElement(2), "<dl class='item last'>2</dl>");
    EXPECT_EQ(f.foundElement(4), "<dl class=\" ITEM \">6</dl>");
    EXPECT_EQ(f.findAll(page, "dl", {"class"}, {"item"}, true), 5);
    EXPECT_EQ(f.findAll(page, "dl", {"id"}, {""}), 1) << "an empty value only asks for the attribute";

    // Capitals in the tag and the value; containment ignores case.
    const GbkText row = "<DIV CLASS=\"Row Item icon\">?id=123</DIV>";
    ASSERT_EQ(f.findAll("<div class=\"row\">x</div>" + row, "div", {"class"}, {"row item"}, true), 1);
    EXPECT_EQ(f.foundElement(1), row);
}

TEST(TagFinderTest, ElementTextsLoseTheSpacesAroundEquals)
{
    TagFinder f;
    const GbkText page = "<li><a href \t= \"x?id=1\">" + gbk("中文") + " = </a></li>";
    EXPECT_EQ(f.findElement(page, "li", {}, {}), "<li><a href=\"x?id=1\">" + gbk("中文") + "=</a></li>");
    EXPECT_EQ(f.findElement("<li>a= b</li>", "li", {}, {}), "<li>a= b</li>") << "only spaces on both sides";
}

TEST(TagFinderTest, FindElementLeavesTheCollectedListAlone)
{
    TagFinder f;
    ASSERT_EQ(f.findAll("<li>1</li><li>2</li>", "li", {}, {}), 2);
    EXPECT_EQ(f.findElement("<li>other</li>", "li", {}, {}), "<li>other</li>");
    EXPECT_EQ(f.foundCount(), 2);
    EXPECT_EQ(f.foundElement(2), "<li>2</li>");
}

TEST(TagFinderTest, EventsRunAtEveryCandidateAndHugeUnclosedPagesFinish)
{
    int events = 0;
    auto previous = text::setEventPump([&events] { ++events; });
    TagFinder f;
    EXPECT_EQ(f.findAll("<li>a</li><li>b</li><link><li>c", "li", {}, {}), 3);
    EXPECT_EQ(events, 3);
    text::setEventPump(std::move(previous));

    // 2 MB of nested unclosed elements, and of opening tags that never end: each scan is one
    // pass (a quadratic balance search would not finish here).
    GbkText nested;
    int elements = 0;
    for (; nested.size() < 2'000'000; ++elements)
        nested += "<li class=\"item\"><a href=\"x\">";
    EXPECT_EQ(f.findAll(nested, "li", {"class"}, {"item"}), elements);
    // Every "<li " runs to the one ">" at the end, so each holds the class attribute.
    GbkText open;
    for (int i = 0; i < 500'000; ++i)
        open += "<li ";
    EXPECT_EQ(f.findAll(open + "class=\"item\">", "li", {"class"}, {"item"}), 500'000);
    EXPECT_EQ(f.findAll(nested + "</li>", "li", {}, {}), elements);
    EXPECT_EQ(f.foundElement(f.foundCount()), "<li class=\"item\"><a href=\"x\"></li>");
}

} // namespace
} // namespace quillet::idcollect
