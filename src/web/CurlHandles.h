#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace quillet::web {

// Owners of the libcurl handles a request object uses. Each frees its handle exactly once.
// (The multi handle is shared per thread and owned by a shared_ptr, see Request.cpp.)

struct CurlEasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// A list of strings handed to libcurl (request headers, connect-to entries). libcurl keeps
// only the pointer, so the list must outlive every transfer that uses it.
class CurlSlist {
public:
    CurlSlist() = default;
    ~CurlSlist() { curl_slist_free_all(m_list); }
    CurlSlist(const CurlSlist&) = delete;
    CurlSlist& operator=(const CurlSlist&) = delete;
    CurlSlist(CurlSlist&& other) noexcept : m_list(other.m_list) { other.m_list = nullptr; }
    CurlSlist& operator=(CurlSlist&& other) noexcept
    {
        if (this != &other) {
            curl_slist_free_all(m_list);
            m_list = other.m_list;
            other.m_list = nullptr;
        }
        return *this;
    }

    // False when libcurl could not allocate the entry (the list is then left as it was).
    bool append(const std::string& entry)
    {
        curl_slist* grown = curl_slist_append(m_list, entry.c_str());
        if (!grown)
            return false;
        m_list = grown;
        return true;
    }
    void clear()
    {
        curl_slist_free_all(m_list);
        m_list = nullptr;
    }
    [[nodiscard]] curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

} // namespace quillet::web
