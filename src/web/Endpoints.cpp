#include "web/Endpoints.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace quillet::web {

namespace {

std::mutex& stateMutex()
{
    static std::mutex mutex;
    return mutex;
}

Endpoints& currentRecord()
{
    static Endpoints record;
    return record;
}

std::vector<std::string>& currentConnectTo()
{
    static std::vector<std::string> entries;
    return entries;
}

std::atomic<std::uint64_t> g_connectToVersion{1};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// One part of a connect-to entry: "[v6]" or a run without colons. Advances `s` past the part
// and its colon; false when the part is malformed.
bool takePart(std::string_view& s, bool last)
{
    size_t end = 0;
    if (!s.empty() && s.front() == '[') {
        end = s.find(']');
        if (end == std::string_view::npos)
            return false;
        ++end;
    } else {
        end = s.find(':');
        if (end == std::string_view::npos)
            end = s.size();
    }
    if (last) {
        if (end != s.size())
            return false;
        s = {};
        return true;
    }
    if (end >= s.size() || s[end] != ':')
        return false;
    s.remove_prefix(end + 1);
    return true;
}

bool isPort(std::string_view s)
{
    if (s.size() > 5)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Sets the field named by the key; false for an unknown key.
bool setField(Endpoints& e, std::string_view key, std::string_view value)
{
    struct Field {
        const char* key;
        GbkText Endpoints::*member;
    };
    static constexpr Field fields[] = {
        {"marketItemHost", &Endpoints::marketItemHost},
        {"mallItemHost", &Endpoints::mallItemHost},
        {"marketDomain", &Endpoints::marketDomain},
        {"mallDomain", &Endpoints::mallDomain},
        {"marketRateHost", &Endpoints::marketRateHost},
        {"mallRateHost", &Endpoints::mallRateHost},
        {"searchHost", &Endpoints::searchHost},
        {"marketShopExample", &Endpoints::marketShopExample},
        {"mallShopExample", &Endpoints::mallShopExample},
    };
    for (const Field& field : fields) {
        if (key == field.key) {
            e.*field.member = std::string(value);
            return true;
        }
    }
    return false;
}

} // namespace

bool isValidConnectToEntry(std::string_view entry)
{
    for (char c : entry)
        if (c == '\r' || c == '\n' || c == '\0' || c == ' ' || c == '\t')
            return false;
    std::string_view rest = entry;
    if (!takePart(rest, false))
        return false;
    const std::string_view afterHost = rest;
    if (!takePart(rest, false))
        return false;
    if (!isPort(afterHost.substr(0, afterHost.size() - rest.size() - 1)))
        return false;
    if (!takePart(rest, false))
        return false;
    const std::string_view port = rest;
    if (!takePart(rest, true))
        return false;
    return isPort(port);
}

int Endpoints::load(std::string_view keyValueText)
{
    int applied = 0;
    bool connectToCleared = false;
    size_t pos = 0;
    while (pos <= keyValueText.size()) {
        size_t end = keyValueText.find('\n', pos);
        if (end == std::string_view::npos)
            end = keyValueText.size();
        const std::string_view line = trimmed(keyValueText.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, eq));
        const std::string_view value = trimmed(line.substr(eq + 1));
        if (key == "connectTo") {
            if (!connectToCleared) {
                connectTo.clear();
                connectToCleared = true;
            }
            size_t from = 0;
            while (from <= value.size()) {
                size_t comma = value.find(',', from);
                if (comma == std::string_view::npos)
                    comma = value.size();
                const std::string_view item = trimmed(value.substr(from, comma - from));
                if (isValidConnectToEntry(item))
                    connectTo.emplace_back(item);
                from = comma + 1;
            }
            ++applied;
            continue;
        }
        if (setField(*this, key, value))
            ++applied;
    }
    return applied;
}

std::string Endpoints::toText() const
{
    std::string out;
    auto line = [&out](const char* key, const std::string& value) {
        out += key;
        out += '=';
        out += value;
        out += "\r\n";
    };
    line("marketItemHost", marketItemHost);
    line("mallItemHost", mallItemHost);
    line("marketDomain", marketDomain);
    line("mallDomain", mallDomain);
    line("marketRateHost", marketRateHost);
    line("mallRateHost", mallRateHost);
    line("searchHost", searchHost);
    line("marketShopExample", marketShopExample);
    line("mallShopExample", mallShopExample);
    std::string joined;
    for (const std::string& entry : connectTo) {
        if (!joined.empty())
            joined += ',';
        joined += entry;
    }
    line("connectTo", joined);
    return out;
}

Endpoints currentEndpoints()
{
    std::lock_guard lock(stateMutex());
    return currentRecord();
}

void setCurrentEndpoints(const Endpoints& endpoints)
{
    setConnectTo(endpoints.connectTo);
    std::lock_guard lock(stateMutex());
    currentRecord() = endpoints;
    currentRecord().connectTo = currentConnectTo();
}

int setConnectTo(const std::vector<std::string>& entries)
{
    std::vector<std::string> kept;
    for (const std::string& entry : entries)
        if (isValidConnectToEntry(entry))
            kept.push_back(entry);
    const int count = static_cast<int>(kept.size());
    std::lock_guard lock(stateMutex());
    currentConnectTo() = std::move(kept);
    g_connectToVersion.fetch_add(1, std::memory_order_release);
    return count;
}

std::uint64_t connectToVersion() { return g_connectToVersion.load(std::memory_order_acquire); }

GbkText currentEndpoint(GbkText Endpoints::*field)
{
    std::lock_guard lock(stateMutex());
    return currentRecord().*field;
}

std::vector<std::string> connectTo()
{
    std::lock_guard lock(stateMutex());
    return currentConnectTo();
}

} // namespace quillet::web
