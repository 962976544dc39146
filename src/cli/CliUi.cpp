#include "cli/CliUi.h"

#include "cli/Cli.h"
#include "text/Charset.h"

#include <atomic>
#include <ostream>

namespace quillet::cli {

namespace {
std::atomic<bool> g_stopSignal{false};

// Message texts use CR LF; a terminal wants LF.
std::string forTerminal(const GbkText& text)
{
    std::string utf8 = text::gbkToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
            continue;
        out += utf8[i];
    }
    return out;
}
} // namespace

void requestStopFromSignal()
{
    g_stopSignal.store(true);
}

bool takeStopSignal()
{
    return g_stopSignal.exchange(false);
}

CliUi::CliUi(std::ostream& out, std::function<void()> onStopRequest)
    : m_out(out)
    , m_onStopRequest(std::move(onStopRequest))
{
    setMessageSink([this](const Message& message) {
        m_out << forTerminal(message.title) << '\n' << forTerminal(message.text) << '\n';
        m_out.flush();
    });
}

void CliUi::processEvents()
{
    HeadlessUi::processEvents();
    if (takeStopSignal() && m_onStopRequest)
        m_onStopRequest();
}

} // namespace quillet::cli
