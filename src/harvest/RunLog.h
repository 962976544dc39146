#pragma once

#include "harvest/Harvest.h"
#include "text/GbkText.h"
#include "text/StdioFile.h"

#include <string>
#include <string_view>

namespace quillet::harvest {

// A UTF-8 text as a JSON string, quotes included.
[[nodiscard]] std::string jsonString(std::string_view utf8);

// The run log for scripts: one JSON object per product and line, appended to a file (UTF-8):
// {"line":3,"product":"123","pages":2,"reviews":4,"outcome":"article","reason":"",
//  "seconds":0.42,"time":"2014-05-06 08:09:10"}. Each line is flushed when written, so a run
// that is killed leaves every line it finished.
class RunLog {
public:
    // Opens (creating) the file for appending; false when it cannot be written.
    bool open(const GbkText& path);
    [[nodiscard]] bool isOpen() const { return static_cast<bool>(m_file); }
    // False once a line could not be written.
    bool write(const ProductReport& report);
    [[nodiscard]] bool failed() const { return m_failed; }
    bool close();

private:
    text::StdioFile m_file;
    bool m_failed = false;
};

} // namespace quillet::harvest
