#pragma once

// The two ID collectors against the simulated marketplace: every port-80 host is sent to it,
// pages can be scripted per host and path, and the window, the Ui and the folders are fresh.

#include "idcollect/CollectContext.h"
#include "support/TempFolder.h"
#include "testmarket/TestMarket.h"
#include "text/Charset.h"
#include "ui/HeadlessUi.h"
#include "ui/Window.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillet::idcollect::testing {

inline GbkText g(const char* utf8)
{
    return text::utf8ToGbk(utf8);
}

class CollectorFixture : public ::testing::Test {
protected:
    CollectorFixture()
        : m_previous(web::currentEndpoints())
    {
        EXPECT_TRUE(market.start());
        web::Endpoints endpoints = m_previous;
        endpoints.connectTo = {":80:127.0.0.1:" + std::to_string(market.port())};
        web::setCurrentEndpoints(endpoints);
        context.endpoints = endpoints;
        context.programFolder = folder.gbkFile("prog");
        context.settingsFolder = folder.gbkFile("config");
        std::filesystem::create_directories(folder.file("prog"));
        std::filesystem::create_directories(folder.file("config"));
    }
    ~CollectorFixture() override
    {
        web::setCurrentEndpoints(m_previous);
        market.stop();
    }

    // Shop listing pages at host: pages[pageNo - 1] (the last one past the end).
    void serveListing(const std::string& host, std::vector<GbkText> pages)
    {
        serve(host, "/search.htm", std::move(pages), [](const testmarket::RecordedRequest& r) {
            return std::atoll(r.queryValue("pageNo").c_str());
        });
    }
    // Keyword search pages: pages[s / 40] (the last one past the end).
    void serveSearch(std::vector<GbkText> pages)
    {
        serve("s.taobao.com", "/search", std::move(pages), [](const testmarket::RecordedRequest& r) {
            return std::atoll(r.queryValue("s").c_str()) / 40 + 1;
        });
    }

    // Runs action once, at the first event after check() holds.
    void when(std::function<bool()> check, std::function<void()> action)
    {
        auto pending = std::make_shared<bool>(true);
        m_observer = window.addObserver([this, check, action, pending](const ui::Window&, const ui::Control*,
                                                                       ui::Property) {
            if (*pending && check()) {
                *pending = false;
                ui.onNextEvents(action);
            }
        });
    }

    [[nodiscard]] std::vector<testmarket::RecordedRequest> requestsTo(const std::string& path) const
    {
        std::vector<testmarket::RecordedRequest> out;
        for (auto& r : market.requests())
            if (r.path == path)
                out.push_back(r);
        return out;
    }

    [[nodiscard]] ui::Control& control(const char* utf8Name) { return *window.find(g(utf8Name)); }
    [[nodiscard]] std::string lastMessage() const
    {
        return ui.messages().empty() ? std::string() : ui.messages().back().text;
    }

    testsupport::TempFolder folder{"quillet-ids"};
    testmarket::TestMarket market;
    ui::HeadlessUi ui;
    web::WebClient client;
    CollectContext context{client, {}, {}, {}};
    ui::Window window;

private:
    void serve(const std::string& host, const std::string& path, std::vector<GbkText> pages,
               std::function<long long(const testmarket::RecordedRequest&)> pageOf)
    {
        market.addRoute(host, path, [pages, pageOf](const testmarket::RecordedRequest& request) {
            testmarket::Response r;
            const long long last = static_cast<long long>(pages.size());
            r.body = pages[static_cast<std::size_t>(std::clamp<long long>(pageOf(request), 1, last) - 1)];
            r.headers.emplace_back("Content-Type", "text/html; charset=gbk");
            return r;
        });
    }

    web::Endpoints m_previous;
    int m_observer = 0;
};

} // namespace quillet::idcollect::testing
