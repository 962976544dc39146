// bare_fetch: fetches a list of URLs one after another with a plain libcurl easy handle
// (connections kept alive), as the yardstick the harvest benchmark compares against.
// usage: bare_fetch [--harvest-headers] URL-LIST-FILE [HOST:PORT:ADDRESS:PORT ...]
// --harvest-headers sends the request headers the harvest sends (Referer: the address itself,
// Content-Type, User-Agent), so that the requests are the harvest's byte for byte and libcurl
// does the same work for them; without it, libcurl's plainest GET.
// Prints: urls, bytes, wall seconds.

#include <curl/curl.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {
size_t collect(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}
} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    const bool harvestHeaders = argc > 1 && std::string(argv[1]) == "--harvest-headers";
    if (harvestHeaders)
        ++first;
    if (argc < first + 1) {
        std::cerr << "usage: bare_fetch [--harvest-headers] URL-LIST-FILE [HOST:PORT:ADDRESS:PORT ...]\n";
        return 2;
    }
    std::ifstream list(argv[first]);
    std::vector<std::string> urls;
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            urls.push_back(line);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* curl = curl_easy_init();
    curl_slist* connectTo = nullptr;
    for (int i = first + 1; i < argc; ++i)
        connectTo = curl_slist_append(connectTo, argv[i]);
    std::string body;
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);

    size_t bytes = 0;
    size_t failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& url : urls) {
        body.clear();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_slist* headers = nullptr;
        if (harvestHeaders) {
            headers = curl_slist_append(headers, ("Referer: " + url).c_str());
            headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
            headers = curl_slist_append(headers,
                                        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        }
        if (curl_easy_perform(curl) != CURLE_OK)
            ++failures;
        curl_slist_free_all(headers);
        bytes += body.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "urls " << urls.size() << " failures " << failures << " bytes " << bytes << " wall " << seconds << "\n";

    curl_slist_free_all(connectTo);
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
