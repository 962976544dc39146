#pragma once

#include "text/GbkText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::web {

// The host names of every site the program reads. Only the paths and query keys are fixed in
// the harvesters; the hosts are ours to configure, so a settings file (or a test) can point the
// program elsewhere. The defaults are the real sites.
struct Endpoints {
    GbkText marketItemHost = "item.taobao.com";   // marketplace product pages (/item.htm?id=)
    GbkText mallItemHost = "detail.tmall.com";    // mall product pages (/item.htm?id=)
    GbkText marketDomain = "taobao.com";          // marketplace domain (shop address check)
    GbkText mallDomain = "tmall.com";             // mall domain (title suffix, redirect element, shop check)
    GbkText marketRateHost = "rate.taobao.com";   // marketplace review feed (/feedRateList.htm)
    GbkText mallRateHost = "rate.tmall.com";      // mall review-list feed (/list_detail_rate.htm)
    GbkText searchHost = "s.taobao.com";          // keyword search (/search?)
    GbkText marketShopExample = "http://shop12345678.taobao.com/"; // example shop address shown to the user
    GbkText mallShopExample = "http://xxx.tmall.com/";             // example mall shop address shown to the user

    // "HOST:PORT:ADDRESS:PORT" entries: a request for HOST:PORT connects to ADDRESS:PORT
    // instead, keeping its URL and Host header. Empty HOST or PORT matches any.
    std::vector<std::string> connectTo;

    // Applies "key=value" lines (CR LF or LF separated; blanks around key and value ignored;
    // lines starting with ';' or '#' and "[section]" lines skipped). Keys are the field names
    // above; "connectTo" may repeat and may hold several entries separated by ','; an empty
    // connectTo value clears the list. Unknown keys and malformed lines are skipped. Returns
    // the number of lines applied.
    int load(std::string_view keyValueText);
    // The record as "key=value" lines, each ended by CR LF, readable by load().
    [[nodiscard]] std::string toText() const;

    bool operator==(const Endpoints&) const = default;
};

// The process-wide endpoint record the harvesters read. Setting it also installs its
// connect-to map for every later request.
[[nodiscard]] Endpoints currentEndpoints();
void setCurrentEndpoints(const Endpoints& endpoints);

// The process-wide connect-to map applied to every request. Entries holding CR, LF, NUL or
// blanks, or without the four colon-separated parts, are dropped; returns how many were kept.
int setConnectTo(const std::vector<std::string>& entries);
[[nodiscard]] std::vector<std::string> connectTo();
// A number that changes whenever the connect-to map is set: a request reads the map again
// only when it has changed since the last time.
[[nodiscard]] std::uint64_t connectToVersion();

// One host name or text of the process-wide endpoint record (what currentEndpoints() would give
// for it, without copying the whole record).
[[nodiscard]] GbkText currentEndpoint(GbkText Endpoints::*field);

// True when the entry has the form HOST:PORT:ADDRESS:PORT (IPv6 addresses in brackets).
[[nodiscard]] bool isValidConnectToEntry(std::string_view entry);

} // namespace quillet::web
