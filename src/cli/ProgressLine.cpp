#include "cli/ProgressLine.h"

#include "text/Charset.h"

#include <ostream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillet::cli {

ProgressLine::ProgressLine(std::ostream& err, bool live)
    : m_err(err)
    , m_live(live)
{
}

ProgressLine::~ProgressLine()
{
    finish();
}

void ProgressLine::show(const GbkText& text)
{
    if (!m_live)
        return;
    m_err << "\r\x1b[K" << text::gbkToUtf8(text);
    m_err.flush();
    m_shown = true;
}

void ProgressLine::finish()
{
    if (m_shown)
        m_err << "\r\x1b[K";
    m_err.flush();
    m_shown = false;
}

bool stderrIsTerminal()
{
#ifdef _WIN32
    return false;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

} // namespace quillet::cli
