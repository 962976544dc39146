// bare_fetch: fetches a list of URLs one after another with a plain libcurl easy handle
// (connections kept alive), as the yardstick the harvest benchmark compares against.
// usage: bare_fetch URL-LIST-FILE [HOST:PORT:ADDRESS:PORT ...]
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
    if (argc < 2) {
        std::cerr << "usage: bare_fetch URL-LIST-FILE [HOST:PORT:ADDRESS:PORT ...]\n";
        return 2;
    }
    std::ifstream list(argv[1]);
    std::vector<std::string> urls;
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            urls.push_back(line);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* curl = curl_easy_init();
    curl_slist* connectTo = nullptr;
    for (int i = 2; i < argc; ++i)
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
        if (curl_easy_perform(curl) != CURLE_OK)
            ++failures;
        bytes += body.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "urls " << urls.size() << " failures " << failures << " bytes " << bytes << " wall " << seconds << "\n";

    curl_slist_free_all(connectTo);
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
