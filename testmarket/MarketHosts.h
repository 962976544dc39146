#pragma once

#include <string>

namespace quillet::testmarket {

// The host names the simulated marketplace answers to. The defaults are the real sites' names;
// clients reach them on 127.0.0.1 through a connect-to mapping, so their Host headers stay real.
struct MarketHosts {
    std::string productHost = "item.taobao.com";     // marketplace product pages
    std::string mallProductHost = "detail.tmall.com"; // mall product pages
    std::string mallFeedHost = "rate.tmall.com";     // mall review-list feed
    std::string marketFeedHost = "rate.taobao.com";  // marketplace review feed
    std::string searchHost = "s.taobao.com";         // keyword search
    std::string marketDomain = "taobao.com";         // shop hosts are <name>.taobao.com ...
    std::string mallDomain = "tmall.com";            // ... or <name>.tmall.com
};

} // namespace quillet::testmarket
