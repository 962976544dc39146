#pragma once

#include "MarketClient.h"
#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillet::testmarket::testing {

// A running simulated marketplace over a small generated catalogue.
class MarketFixture : public ::testing::Test {
protected:
    static CatalogueOptions smallCatalogue()
    {
        CatalogueOptions o;
        o.seed = 7;
        o.products = 50;
        o.pagesPerFeed = 3;
        o.reviewsPerPage = 6;
        o.shops = 4;
        o.listingPageSize = 4;
        return o;
    }

    void SetUp() override
    {
        m_catalogue = std::make_shared<const Catalogue>(Catalogue::generate(smallCatalogue()));
        m_market = std::make_unique<TestMarket>(m_catalogue);
        ASSERT_TRUE(m_market->start());
    }

    FetchResult get(const std::string& url, const FetchOptions& options = {}) const
    {
        return fetch(m_market->port(), url, options);
    }

    std::shared_ptr<const Catalogue> m_catalogue;
    std::unique_ptr<TestMarket> m_market;
};

} // namespace quillet::testmarket::testing
