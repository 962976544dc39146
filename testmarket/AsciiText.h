#pragma once

#include <string>
#include <string_view>

namespace quillet::testmarket {

// The text with its ASCII capital letters made small (header names, hosts, option words).
[[nodiscard]] std::string lower(std::string_view s);

} // namespace quillet::testmarket
