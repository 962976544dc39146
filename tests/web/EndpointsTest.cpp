#include "web/Endpoints.h"

#include <gtest/gtest.h>

using quillet::web::Endpoints;
using quillet::web::isValidConnectToEntry;

TEST(Endpoints, DefaultsNameTheRealSites)
{
    const Endpoints e;
    EXPECT_EQ(e.marketItemHost, "item.taobao.com");
    EXPECT_EQ(e.mallItemHost, "detail.tmall.com");
    EXPECT_EQ(e.mallDomain, "tmall.com");
    EXPECT_EQ(e.marketDomain, "taobao.com");
    EXPECT_EQ(e.mallRateHost, "rate.tmall.com");
    EXPECT_EQ(e.marketRateHost, "rate.taobao.com");
    EXPECT_EQ(e.searchHost, "s.taobao.com");
    EXPECT_TRUE(e.connectTo.empty());
}

TEST(Endpoints, KeyValueTextOverridesOnlyWhatItNames)
{
    Endpoints e;
    const int applied = e.load("[web]\r\n"
                               "; a comment\r\n"
                               "  mallItemHost =  mall.test  \r\n"
                               "searchHost=search.test\n"
                               "unknownKey=1\n"
                               "no equals sign\n"
                               "connectTo=item.taobao.com:80:127.0.0.1:8080, ::127.0.0.1:9090 ,bad entry\n"
                               "connectTo=[::1]:80:[::1]:81");
    EXPECT_EQ(applied, 4);
    EXPECT_EQ(e.mallItemHost, "mall.test");
    EXPECT_EQ(e.searchHost, "search.test");
    EXPECT_EQ(e.marketItemHost, "item.taobao.com");
    ASSERT_EQ(e.connectTo.size(), 3u);
    EXPECT_EQ(e.connectTo[1], "::127.0.0.1:9090");
    EXPECT_EQ(e.connectTo[2], "[::1]:80:[::1]:81");

    // What toText writes, load reads back to the same record.
    Endpoints copy;
    copy.load(e.toText());
    EXPECT_EQ(copy, e);

    // An empty connectTo value clears the list.
    e.load("connectTo=");
    EXPECT_TRUE(e.connectTo.empty());
}

TEST(Endpoints, ConnectToEntriesMustHaveFourSafeParts)
{
    EXPECT_TRUE(isValidConnectToEntry("item.taobao.com:80:127.0.0.1:8080"));
    EXPECT_TRUE(isValidConnectToEntry("::127.0.0.1:8080"));
    EXPECT_TRUE(isValidConnectToEntry(":::"));
    EXPECT_TRUE(isValidConnectToEntry("[::1]:80:[::1]:81"));
    EXPECT_FALSE(isValidConnectToEntry("host:80:127.0.0.1"));
    EXPECT_FALSE(isValidConnectToEntry("host:80:127.0.0.1:8080:9"));
    EXPECT_FALSE(isValidConnectToEntry("host:http:127.0.0.1:8080"));
    EXPECT_FALSE(isValidConnectToEntry("host:80:127.0.0.1:8080\r\nX: y"));
    EXPECT_FALSE(isValidConnectToEntry("host:80:[::1:8080"));
    EXPECT_FALSE(isValidConnectToEntry(""));
}

TEST(Endpoints, ProcessWideRecordInstallsItsConnectToMap)
{
    const Endpoints saved = quillet::web::currentEndpoints();
    const std::vector<std::string> savedMap = quillet::web::connectTo();

    Endpoints e;
    e.searchHost = "search.test";
    e.connectTo = {"::127.0.0.1:1", "broken"};
    quillet::web::setCurrentEndpoints(e);
    EXPECT_EQ(quillet::web::currentEndpoints().searchHost, "search.test");
    EXPECT_EQ(quillet::web::connectTo(), std::vector<std::string>{"::127.0.0.1:1"});
    EXPECT_EQ(quillet::web::currentEndpoints().connectTo, std::vector<std::string>{"::127.0.0.1:1"});

    quillet::web::setCurrentEndpoints(saved);
    quillet::web::setConnectTo(savedMap);
}
