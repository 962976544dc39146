#pragma once

// What `quillet --demo` sets up: the simulated marketplace on 127.0.0.1 serving a generated
// catalogue under the real host names (all of them mapped onto it), a fresh folder holding a
// sample product-ID file, a settings file of its own and an empty output folder.

#include "text/GbkText.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillet::testmarket {
class TestMarket;
}

namespace quillet::gui {

class DemoMarket {
public:
    DemoMarket();
    ~DemoMarket();
    DemoMarket(const DemoMarket&) = delete;
    DemoMarket& operator=(const DemoMarket&) = delete;

    // Starts the marketplace and writes the folder (a fresh one under parent). False, with a
    // reason, when either fails.
    bool start(const std::filesystem::path& parent, int products, std::string& error);

    [[nodiscard]] const std::filesystem::path& folder() const { return m_folder; }
    [[nodiscard]] std::filesystem::path settingsFile() const { return m_folder / "demo-settings.ini"; }
    [[nodiscard]] GbkText idFile() const;       // the sample product-ID file
    [[nodiscard]] GbkText outputFolder() const; // where the articles go
    [[nodiscard]] int port() const;
    // HOST:PORT:ADDRESS:PORT entries that send every site's traffic to the marketplace.
    [[nodiscard]] const std::vector<std::string>& connectTo() const { return m_connectTo; }

private:
    std::unique_ptr<testmarket::TestMarket> m_market;
    std::filesystem::path m_folder;
    std::vector<std::string> m_connectTo;
};

} // namespace quillet::gui
