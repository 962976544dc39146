#include "App.h"

#include "text/FileIo.h"
#include "text/Paths.h"
#include "ui/MainWindow.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <cstdlib>
#include <system_error>
#include <utility>

namespace quillet::app {

namespace fs = std::filesystem;

App::App()
    : App(Options{})
{
}

App::App(Options options)
    : webClient(std::make_shared<web::WebClient>())
    , endpoints(web::currentEndpoints())
    , m_options(std::move(options))
{
}

App::~App()
{
    if (m_endpointsBefore)
        web::setCurrentEndpoints(*m_endpointsBefore);
}

void App::setProgramName(const GbkText& name)
{
    programName = name;
    const SettingsLocation location =
        m_options.settingsPath.empty() ? settingsLocationFor(programName) : SettingsLocation{m_options.settingsPath, {}};
    settingsPath = location.path;
    settingsBasePath = location.basePath;
    if (settingsBasePath.empty())
        (void)settings.openStore(settingsPath, settings::StorageFile);
    else
        (void)settings.openStoreOver(settingsPath, settingsBasePath);
    loadEndpoints();
}

void App::loadEndpoints()
{
    // The host names of the sites can be pointed elsewhere from the section "Endpoints" of
    // the settings file, one key per field of web::Endpoints; absent keys keep the defaults.
    static const char* const keys[] = {"marketItemHost", "mallItemHost",      "marketDomain",
                                       "mallDomain",     "marketRateHost",    "mallRateHost",
                                       "searchHost",     "marketShopExample", "mallShopExample",
                                       "connectTo"};
    const GbkText absent = "\x01";
    const GbkText previousSection = settings.section();
    settings.selectSection(endpointsSection());
    std::string lines;
    for (const char* key : keys) {
        const GbkText value = settings.readText(key, absent);
        if (value != absent)
            lines += std::string(key) + "=" + value + "\n";
    }
    settings.selectSection(previousSection);
    if (lines.empty() && m_options.connectTo.empty())
        return;
    endpoints.load(lines);
    for (const std::string& entry : m_options.connectTo)
        endpoints.connectTo.push_back(entry);
    if (!m_endpointsBefore)
        m_endpointsBefore = web::currentEndpoints();
    web::setCurrentEndpoints(endpoints);
}

const GbkText& endpointsSection()
{
    static const GbkText section = "Endpoints";
    return section;
}

void App::setUi(ui::Ui* services)
{
    ui = services;
    settings.setUi(services);
}

const GbkText& defaultProgramName()
{
    return ui::programNameText();
}

fs::path userConfigHome()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        fs::path p(xdg);
        if (p.is_absolute())
            return p;
    }
    const GbkText home = text::homeFolder();
    if (home.empty())
        return {};
    return text::toNativePath(home) / ".config";
}

SettingsLocation resolveSettingsLocation(const GbkText& name, const fs::path& executableFolder,
                                         const fs::path& overridePath, const fs::path& configHome)
{
    if (!overridePath.empty())
        return {text::fromNativePath(overridePath), {}};

    const fs::path fileName = text::toNativePath(name + ".ini");
    fs::path besideProgram;
    bool storedBeside = false;
    if (!executableFolder.empty()) {
        besideProgram = executableFolder / fileName;
        if (text::canReplaceFile(besideProgram))
            return {text::fromNativePath(besideProgram), {}};
        std::error_code ec;
        storedBeside = fs::symlink_status(besideProgram, ec).type() != fs::file_type::not_found && !ec;
    }
    const GbkText stored = storedBeside ? text::fromNativePath(besideProgram) : GbkText();
    if (!configHome.empty()) {
        const fs::path folder = configHome / "quillet";
        std::error_code ec;
        fs::create_directories(folder, ec);
        const fs::path inConfig = folder / fileName;
        if (text::canReplaceFile(inConfig))
            return {text::fromNativePath(inConfig), stored};
    }
    // Nowhere writable: keep the place beside the program; the store reads what is there and
    // says it cannot save.
    if (!besideProgram.empty())
        return {text::fromNativePath(besideProgram), {}};
    return {name + ".ini", {}};
}

SettingsLocation settingsLocationFor(const GbkText& name)
{
    fs::path overridePath;
    if (const char* value = std::getenv(kSettingsPathVariable); value && *value)
        overridePath = fs::path(value);
    return resolveSettingsLocation(name, text::executableFolder(), overridePath, userConfigHome());
}

} // namespace quillet::app
