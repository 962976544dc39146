#pragma once

#include "regex/RegexObject.h"
#include "settings/SettingsStore.h"
#include "text/GbkText.h"
#include "web/Endpoints.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet::web {
class WebClient;
}
namespace quillet::ui {
class Ui;
}

namespace quillet::app {

// The process-wide state every window handler reaches. The members are constructed in this
// order, before anything else runs: the settings store, the shared web client (used by the
// product-ID windows), the two shared expression objects of the review run. They live until
// the App ends.
struct App {
    // What a front end hands to a session instead of setting process-wide state.
    struct Options {
        // The settings file to use; empty: the usual place (settingsLocationFor).
        GbkText settingsPath;
        // Connect-to entries (HOST:PORT:ADDRESS:PORT) added to those of the settings file.
        std::vector<std::string> connectTo;
    };

    App();
    explicit App(Options options);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    settings::SettingsStore settings;
    std::shared_ptr<web::WebClient> webClient;
    RegexObject patternRegex;
    RegexObject whitespaceRegex;
    bool stopRequested = false;

    // The program's name (GBK), empty until setProgramName.
    GbkText programName;
    // The settings file in use (GBK path), empty until setProgramName.
    GbkText settingsPath;
    // A stored settings file read beneath it because it cannot be written (GBK path), or empty.
    GbkText settingsBasePath;
    // Platform services (message boxes, dialogs, event processing); set by the front end.
    ui::Ui* ui = nullptr;
    // The site host names and connect-to entries of this session: the defaults, then the
    // settings file's "Endpoints" section, then Options::connectTo.
    web::Endpoints endpoints;
    // A text dialog is open (there is never more than one).
    bool textDialogOpen = false;

    // Stores the name, works out the settings path from it and opens the settings store on it
    // (file form). The store's answer is not looked at: a missing or unwritable file is the
    // store's business, and it tells the user itself.
    void setProgramName(const GbkText& name);

    // Reads the host names and connect-to entries of the settings file's "Endpoints" section
    // into `endpoints`, adds the connect-to entries of the options, and puts the result in
    // force for the web layer until the App ends (done by setProgramName). The endpoints in
    // force before come back when the App ends.
    void loadEndpoints();

    // Sets the Ui the App and its settings store speak through.
    void setUi(ui::Ui* services);

private:
    Options m_options;
    std::optional<web::Endpoints> m_endpointsBefore;
};

// The settings section that can override the sites' host names: "Endpoints".
[[nodiscard]] const GbkText& endpointsSection();

// "墨汀·Quillet", the name start-up gives the program.
[[nodiscard]] const GbkText& defaultProgramName();

// Name of the environment variable that names the settings file explicitly (tests, portable
// use). Its value is a native path.
inline constexpr const char* kSettingsPathVariable = "QUILLET_SETTINGS";

// Where the settings of a program called name are kept.
struct SettingsLocation {
    GbkText path;     // the settings file the store reads and writes (GBK)
    GbkText basePath; // a stored settings file that cannot be written, read beneath path; or empty
};

// Where the settings file of a program called name lives:
// 1. the path in QUILLET_SETTINGS when that is set and not empty;
// 2. otherwise name + ".ini" in the folder of the running executable, when it can be written
//    there (a portable or per-user install), or when a file of that name exists there but
//    nothing can be written in the user's configuration folder either (the store then reads
//    it and tells the user that changes are not saved);
// 3. otherwise name + ".ini" in the user's configuration folder ($XDG_CONFIG_HOME, or
//    ~/.config, then "quillet"), created when missing, so a system-wide install does not lose
//    every setting. A settings file beside the program that cannot be written is then read
//    beneath it (basePath): what the user stored there is never ignored, and what is changed
//    goes to the configuration folder and is read first.
[[nodiscard]] SettingsLocation settingsLocationFor(const GbkText& name);

// The same rule with its inputs given, for tests: overridePath empty means no override,
// configHome is the folder that holds the "quillet" folder.
[[nodiscard]] SettingsLocation resolveSettingsLocation(const GbkText& name, const std::filesystem::path& executableFolder,
                                                       const std::filesystem::path& overridePath,
                                                       const std::filesystem::path& configHome);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
// ~/.config.
[[nodiscard]] std::filesystem::path userConfigHome();

} // namespace quillet::app
