#pragma once

#include "text/GbkText.h"
#include "web/Endpoints.h"
#include "web/PageRetry.h"

namespace quillet::web {
class WebClient;
}

namespace quillet::idcollect {

// What the two product-ID windows work with besides their own window and the Ui.
struct CollectContext {
    // The process-wide web client: every listing and search page is fetched through it.
    web::WebClient& webClient;
    // The site host names (product pages, domains, search host).
    web::Endpoints endpoints;
    // Where the keyword window leaves the pages that gave nothing: the program's folder, or,
    // when that cannot be written (a system-wide install), the folder of the settings file.
    GbkText programFolder;
    GbkText settingsFolder;
    // How refused and failed pages are asked for again.
    web::RetryPolicy retry = {};
};

// What a click on a window's run button did, for callers that report more than the window
// shows (the command line's exit status).
struct RunOutcome {
    bool ran = false;        // false: the click was a stop request, or the address was refused
    bool stopped = false;    // the user asked the run to stop before its last page
    long long count = 0;     // the count the final message reports
    GbkText filePath;        // the product-ID file
    bool fileFailed = false; // the file could not be created or written in full
    GbkText dumpFolder;      // keyword window: where pages that gave nothing were left; empty: none
    bool dumpFailed = false; // keyword window: such a page could be left nowhere
    long long refusedPage = 0; // the page the marketplace refused after every retry (the run stopped there); 0: none
};

// The message a finished run shows: head ("OK！已采集了 " or "OK！总采集了 "), the count and
// where to go next; then, when the marketplace refused a page, that the run stopped there;
// when the file could not be written, a note naming it, and when the
// pages that gave nothing were left elsewhere than in the program's folder, where they are.
[[nodiscard]] GbkText runFinishedMessage(const GbkText& head, const RunOutcome& outcome,
                                         const GbkText& programFolder = GbkText());

} // namespace quillet::idcollect
