#include "harvest/BatchRun.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "harvest/ArticleCommitter.h"
#include "harvest/MergedFile.h"
#include "text/Numbers.h"
#include "text/Paths.h"
#include "ui/Ui.h"
#include "ui/Window.h"
#include "web/WebClient.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

namespace quillet::harvest {

// ---- Product-ID file -------------------------------------------------------------------

ProductIdFile::~ProductIdFile()
{
    close();
}

bool ProductIdFile::open(const GbkText& path)
{
    close();
    if (path.empty())
        return false;
    std::error_code ec;
    const auto native = text::toNativePath(path);
    if (std::filesystem::is_directory(native, ec))
        return false;
    m_file = text::StdioFile::open(native, "rb");
    m_block.clear();
    m_pos = 0;
    return static_cast<bool>(m_file);
}

void ProductIdFile::close()
{
    m_file.reset();
}

namespace {

long long tellFile(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<long long>(ftello(file));
#endif
}

bool seekFile(std::FILE* file, long long position)
{
#ifdef _WIN32
    return _fseeki64(file, position, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

constexpr std::string_view kLineEnds("\n\0\x1A", 3);

} // namespace

bool ProductIdFile::readBlock()
{
    m_block.resize(kBlockBytes);
    const size_t n = m_file ? std::fread(m_block.data(), 1, kBlockBytes, m_file.get()) : 0;
    m_block.resize(n);
    m_pos = 0;
    return n > 0;
}

void ProductIdFile::reserveLongLine(GbkText& line)
{
    std::FILE* file = m_file.get();
    const long long resume = tellFile(file);
    if (resume < 0 || !seekFile(file, resume))
        return; // a pipe: the line grows as it comes
    size_t length = line.size();
    for (;;) {
        if (!readBlock())
            break;
        const size_t end = m_block.find_first_of(kLineEnds);
        length += end == std::string::npos ? m_block.size() : end;
        if (end != std::string::npos)
            break;
    }
    m_block.clear();
    m_pos = 0;
    if (!seekFile(file, resume)) {
        m_file.reset(); // cannot happen after the seek above worked; never read on from a wrong place
        return;
    }
    line.reserve(length);
}

bool ProductIdFile::nextLine(GbkText& line)
{
    line.clear();
    if (!m_file)
        return false;
    for (;;) {
        if (m_pos >= m_block.size() && !readBlock())
            return !line.empty(); // the last line has no line end
        const size_t end = m_block.find_first_of(kLineEnds, m_pos);
        if (end != std::string::npos) {
            line.append(m_block, m_pos, end - m_pos);
            if (m_block[end] == '\n' && !line.empty() && line.back() == '\r')
                line.pop_back();
            m_pos = end + 1;
            return true;
        }
        const bool first = line.empty();
        line.append(m_block, m_pos, std::string::npos);
        m_pos = m_block.size();
        if (first)
            reserveLongLine(line);
    }
}

// ---- Time stamps -----------------------------------------------------------------------

GbkText formatTimestamp(int kind)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    auto two = [](int v) {
        std::string s = std::to_string(v);
        return s.size() == 1 ? "0" + s : s;
    };
    const std::string date = two(local.tm_year + 1900) + "-" + two(local.tm_mon + 1) + "-" + two(local.tm_mday);
    const std::string time = two(local.tm_hour) + ":" + two(local.tm_min) + ":" + two(local.tm_sec);
    switch (kind) {
    case 1:
        return date;
    case 2:
        return time;
    default:
        return date + " " + time;
    }
}

// ---- The run -----------------------------------------------------------------------------

GbkText unfinishedFilePath(const GbkText& idFilePath)
{
    const std::filesystem::path path = text::toNativePath(idFilePath);
    std::filesystem::path name = path.stem();
    name += text::toNativePath(gbk(".未完成"));
    name += path.extension();
    return text::fromNativePath(path.parent_path() / name);
}

GbkText runSummaryMessage(const RunOutcome& outcome)
{
    GbkText message;
    if (outcome.kind == RunOutcome::Kind::Refused) {
        message += gbk("淘宝拒绝了更多请求：商品 ") + outcome.refusedProductId
            + (outcome.refusedPage > 0 ? gbk(" 第 ") + std::to_string(outcome.refusedPage) + gbk(" 页评论")
                                       : gbk(" 的商品页"))
            + gbk("。采集已停止，已采集的内容都已保留；下次从第 ") + std::to_string(outcome.refusedLine)
            + gbk(" 行（该商品）继续。") + "\r\n";
    }
    if (outcome.startBeyondEnd)
        message += gbk("起始序号超出了商品ID文件的行数，没有采集任何商品。") + "\r\n";
    const long long without = outcome.withoutArticle();
    message += gbk("本次采集了 ") + std::to_string(outcome.products) + gbk(" 个商品：")
        + std::to_string(outcome.articles) + gbk(" 篇文章已保存，") + std::to_string(without)
        + gbk(" 个商品没有文章");
    if (without > 0) {
        GbkText reasons;
        auto add = [&reasons](long long n, const char* what) {
            if (n == 0)
                return;
            if (!reasons.empty())
                reasons += gbk("，");
            reasons += gbk(what) + " " + std::to_string(n);
        };
        add(outcome.refused, "被拒绝");
        add(outcome.notFound, "商品不存在或页面无法识别");
        add(outcome.networkFailed, "网络多次失败");
        add(outcome.noReviews, "没有通过筛选的评论");
        add(outcome.failedWrites, "文章未能写入");
        message += gbk("（") + reasons + gbk("）");
    }
    message += gbk("。");
    if (!outcome.unfinishedFile.empty()) {
        message += "\r\n"
            + (outcome.unfinishedFileFailed ? gbk("没有文章的商品ID未能写入：") : gbk("没有文章的商品ID已写入："))
            + outcome.unfinishedFile;
    }
    return message;
}

namespace {

using namespace ui::mainwin;
using ui::ControlName;

GbkText textOf(ui::Window& window, const ControlName& name)
{
    const ui::Control* c = window.find(name);
    return c ? c->text() : GbkText();
}

bool checkedOf(ui::Window& window, const ControlName& name)
{
    const ui::Control* c = window.find(name);
    return c && c->checked();
}

int indexOf(ui::Window& window, const ControlName& name)
{
    const ui::Control* c = window.find(name);
    return c ? c->selectedIndex() : -1;
}

void setText(ui::Window& window, const ControlName& name, const GbkText& value)
{
    if (ui::Control* c = window.find(name))
        c->setText(value);
}

// The output folder as the user typed it, without a trailing separator.
GbkText outputFolder(ui::Window& window)
{
    GbkText folder = textOf(window, 编辑框保存目录);
    while (folder.size() > 1 && compose::endsWithPathSeparator(folder))
        folder.pop_back();
    return folder;
}

// The extension of the output files: a part of a file name, cleaned like one, so that it can
// never reach into another folder ("../../x").
GbkText outputExtension(ui::Window& window)
{
    return compose::sanitizeFileName(textOf(window, 编辑框扩展名));
}

// The output folder and extension as the controls hold them when a product starts.
struct OutputPlace {
    GbkText folder;
    GbkText extension;
};

OutputPlace outputPlace(ui::Window& window)
{
    return {outputFolder(window), outputExtension(window)};
}

HarvestRequest buildRequest(ui::Window& window, GbkText line, long long articlesSoFar, const OutputPlace& place)
{
    HarvestRequest request;
    request.line = std::move(line);
    request.reviewType = indexOf(window, 组合框类型);
    request.templateText = textOf(window, 编辑框组合);
    request.filterOn = checkedOf(window, 选择框过滤);
    request.regexMode = checkedOf(window, 选择框正则);
    request.matchList = textOf(window, 编辑框匹配式);
    request.replaceList = textOf(window, 编辑框替换式);
    request.minChars = text::textToInteger(textOf(window, 编辑框字数));
    request.maxPages = text::textToInteger(textOf(window, 编辑框页数));
    request.previewOnly = checkedOf(window, 选择框仅信息框);
    request.articlesSoFar = articlesSoFar;
    request.contentShuffle = checkedOf(window, 选择框内容打乱);
    request.titleShuffle = checkedOf(window, 选择框标题打乱);
    request.outputPattern = place.folder + text::pathSeparator() + "*." + place.extension;
    return request;
}

} // namespace

bool harvestProduct(const HarvestRequest& request, HarvestContext& context, GbkText& title, GbkText& productId,
                    compose::PreparedTemplate& prepared)
{
    title.clear();
    productId.clear();
    context.report = ProductReport();
    // Every product starts with a request object of its own and no cookies.
    web::WebClient client;
    std::optional<ProductInfo> product = resolveProduct(request.line, request.reviewType, client, context);
    if (!product) {
        productId = productIdOf(request.line, context.patternRegex);
        context.report.productId = productId;
        if (context.report.result == ProductResult::NoReviews)
            context.report.result = ProductResult::NotFound;
        return false;
    }
    context.report.productId = product->productId;
    prepared = compose::prepareTemplate(request.templateText, context.patternRegex);
    harvestReviews(*product, request, prepared.columns, client, context);
    title = product->title;
    productId = product->productId;
    // A product cut short by a refusal is harvested again, whole, when the run resumes.
    return context.report.result != ProductResult::Refused;
}

GbkText assembleProductArticle(compose::PreparedTemplate& prepared, bool contentShuffle, ProductReport& report)
{
    GbkText article = compose::assembleArticle(prepared, contentShuffle);
    if (!article.empty())
        report.result = ProductResult::Article;
    else if (report.result != ProductResult::NetworkFailed)
        report.result = ProductResult::NoReviews;
    return article;
}

std::string productResultName(ProductResult result)
{
    switch (result) {
    case ProductResult::Article: return "article";
    case ProductResult::Refused: return "refused";
    case ProductResult::NotFound: return "not-found";
    case ProductResult::NetworkFailed: return "network-failed";
    case ProductResult::NoReviews: return "no-reviews";
    case ProductResult::WriteFailed: return "write-failed";
    }
    return "no-reviews";
}

RunOutcome runButtonClicked(HarvestContext& context, ui::Ui& ui)
{
    RunOutcome outcome;
    ui::Window& window = context.mainWindow;
    ui::Control* runButton = window.find(按钮采集);
    if (!runButton) {
        outcome.kind = RunOutcome::Kind::IdFileMissing;
        return outcome;
    }

    // A click while a run is going on only asks it to stop.
    if (runButton->text() != gbk("开始采集")) {
        runButton->setText(gbk("正在停止.."));
        context.stopRequested = true;
        outcome.kind = RunOutcome::Kind::StopRequested;
        return outcome;
    }

    ProductIdFile idFile;
    const GbkText idFilePath = textOf(window, 编辑框商品ID文件);
    if (!idFile.open(idFilePath)) {
        ui.messageBox(gbk("请先选择保存商品ID或商品地址的文本文件！"));
        outcome.kind = RunOutcome::Kind::IdFileMissing;
        return outcome;
    }

    context.stopRequested = false;
    runButton->setText(gbk("正在采集.."));
    const GbkText startText = textOf(window, 编辑框序号);
    ui::Control* namingBox = window.find(组合框命名方式);
    if (namingBox)
        namingBox->setEnabled(false);

    const int naming = namingBox ? namingBox->selectedIndex() : 0;
    // A merged file stays where the run opened it; per-file articles go where the controls
    // say when their product starts.
    const OutputPlace runPlace = outputPlace(window);
    const GbkText& sep = text::pathSeparator();

    MergedFile merged;
    long long failedWrites = 0;
    GbkText failedFolder = runPlace.folder; // where the last per-file article that failed should have gone
    std::vector<GbkText> created;
    bool mergedOpened = false;
    // The merged file is made when the run starts, so a run without articles leaves an empty
    // one; a quick preview writes nothing, so it is put off until an article must go in it.
    const GbkText mergedName = compose::replaceAll(formatTimestamp(0), ":", "-", false);
    auto openMerged = [&]() {
        if (mergedOpened)
            return;
        mergedOpened = true;
        compose::createDirectories(runPlace.folder + sep, created);
        merged.create(runPlace.folder, mergedName, runPlace.extension);
    };
    if (naming > 1 && !checkedOf(window, 选择框仅信息框))
        openMerged();

    long long lineNo = 0;
    long long count = 0;
    // The next run must not begin behind this line: the first product whose article could not
    // be written, was refused, or was cut short by a stop before it gave anything.
    long long holdLine = 0;
    auto hold = [&holdLine](long long line) {
        if (holdLine == 0 || line < holdLine)
            holdLine = line;
    };
    long long firstMergedLine = 0;
    GbkText unfinished; // the lines of the products that gave nothing, as the file had them
    bool anyLine = false;
    // Per-product articles are written in groups: `count` holds the committed ones, and an
    // article lost when its group is committed is counted, held and listed then.
    ArticleCommitter committer;
    auto absorb = [&](ArticleCommitter::Committed committed) {
        count += committed.articles;
        for (ArticleCommitter::Lost& lost : committed.lost) {
            ++failedWrites;
            failedFolder = lost.folder;
            hold(lost.line);
            unfinished += lost.entry + "\r\n";
        }
    };
    auto commitArticles = [&]() { absorb(committer.commit()); };

    // What a harvested product leaves for its article to be assembled, written and counted.
    struct Harvested {
        HarvestRequest request;
        compose::PreparedTemplate prepared;
        bool assemble = false;
        ProductReport report;
        GbkText title;
        GbkText productId;
        OutputPlace place;
        long long lineNo = 0;
        std::chrono::steady_clock::time_point started;
    };
    auto finishProduct = [&](Harvested& p) {
        ProductReport& report = p.report;
        const GbkText article =
            p.assemble ? assembleProductArticle(p.prepared, p.request.contentShuffle, report) : GbkText();
        if (!article.empty()) {
            bool written = false;
            bool staged = false; // counted when its group is committed
            if (naming == 0 || naming == 1) {
                written = staged = committer.stage(naming, p.place.folder, p.place.extension, p.title, p.productId,
                                                   article, p.lineNo, p.request.line);
                if (!written)
                    failedFolder = p.place.folder;
            } else {
                openMerged();
                GbkText mergedLine = naming == 3 ? p.productId + "|" : GbkText();
                for (char c : article)
                    if (c != '\r' && c != '\n')
                        mergedLine += c;
                mergedLine += "\r\n";
                // Written line by line, whole or not at all: a run that is killed keeps every
                // article it counted, and a full disk leaves no torn line.
                written = merged.appendLine(mergedLine);
                if (written && firstMergedLine == 0)
                    firstMergedLine = p.lineNo;
            }
            if (written) {
                if (!staged)
                    ++count;
            } else {
                ++failedWrites;
                report.result = ProductResult::WriteFailed;
                report.reason = "not written";
                hold(p.lineNo);
            }
        }
        // A stop that came before the product gave anything leaves it for the next run.
        const bool cutShort = report.result == ProductResult::Refused
            || (report.stopped && report.result != ProductResult::Article
                && report.result != ProductResult::WriteFailed);
        if (cutShort) {
            hold(p.lineNo);
            if (report.result == ProductResult::Refused) {
                ++outcome.products;
                ++outcome.refused;
            }
        } else {
            ++outcome.products;
            switch (report.result) {
            case ProductResult::NotFound: ++outcome.notFound; break;
            case ProductResult::NetworkFailed: ++outcome.networkFailed; break;
            case ProductResult::NoReviews: ++outcome.noReviews; break;
            default: break;
            }
            if (report.result != ProductResult::Article)
                unfinished += p.request.line + "\r\n";
        }
        if (context.onProductDone) {
            report.line = p.lineNo;
            report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - p.started).count();
            context.onProductDone(report);
        }
    };
    // A per-file article is assembled and staged while the next product's first request is
    // on its way; wherever that did not happen, it is done here, before anything that reads
    // the counts or ends the run.
    auto finishPending = [&context]() {
        if (context.whileFirstRequest)
            std::exchange(context.whileFirstRequest, nullptr)();
    };

    GbkText line;
    while (idFile.nextLine(line)) {
        ++lineNo;
        if (lineNo < text::textToInteger(textOf(window, 编辑框序号)))
            continue;
        anyLine = true;
        setText(window, 编辑框序号, std::to_string(lineNo));
        if (!line.empty()) {
            auto p = std::make_shared<Harvested>();
            p->started = std::chrono::steady_clock::now();
            // The mall's file-exists check and the write use the same folder and extension.
            p->place = outputPlace(window);
            p->lineNo = lineNo;
            // The line is moved on, never copied: it may be huge.
            p->request = buildRequest(window, std::move(line), count, p->place);
            p->assemble = harvestProduct(p->request, context, p->title, p->productId, p->prepared);
            finishPending(); // the previous product's, when this one sent no request
            if (checkedOf(window, 选择框仅信息框)) {
                const GbkText article = p->assemble
                    ? assembleProductArticle(p->prepared, p->request.contentShuffle, context.report)
                    : GbkText();
                ui.messageBox(article, p->title);
                outcome.kind = RunOutcome::Kind::Previewed;
                break;
            }
            p->report = context.report;
            if (p->assemble && (naming == 0 || naming == 1) && !context.stopRequested)
                context.whileFirstRequest = [p, &finishProduct] { finishProduct(*p); };
            else
                finishProduct(*p);
            if (p->report.result == ProductResult::Refused) {
                outcome.kind = RunOutcome::Kind::Refused;
                outcome.refusedProductId = p->productId;
                outcome.refusedLine = lineNo;
                outcome.refusedPage = p->report.refusedPage;
                break;
            }
        }
        // Full groups are committed behind the loop; a stop waits for its article.
        if (context.stopRequested) {
            finishPending();
            commitArticles();
        } else if (committer.due()) {
            committer.commitInBackground();
        }
        absorb(committer.collect());
        if (context.stopRequested) {
            outcome.kind = RunOutcome::Kind::Stopped;
            break;
        }
    }
    finishPending();
    commitArticles();
    if (!anyLine && outcome.kind != RunOutcome::Kind::Previewed)
        outcome.startBeyondEnd = lineNo > 0 || text::textToInteger(startText) > 1;

    const bool preview = checkedOf(window, 选择框仅信息框);
    if (preview) {
        setText(window, 编辑框序号, startText);
    } else {
        long long next = text::textToInteger(textOf(window, 编辑框序号)) + 1;
        if (holdLine > 0 && holdLine < next)
            next = holdLine;
        setText(window, 编辑框序号, std::to_string(next));
    }

    idFile.close();
    if (merged.isOpen() && !merged.close()) {
        ++failedWrites; // the system could not keep what it was given
        if (!preview && firstMergedLine > 0
            && firstMergedLine < text::textToInteger(textOf(window, 编辑框序号)))
            setText(window, 编辑框序号, std::to_string(firstMergedLine));
    }
    if (namingBox)
        namingBox->setEnabled(true);
    runButton->setText(gbk("开始采集"));

    outcome.failedWrites = failedWrites;
    if (!preview && !unfinished.empty()) {
        outcome.unfinishedFile = unfinishedFilePath(idFilePath);
        outcome.unfinishedFileFailed = !compose::writeTextFile(outcome.unfinishedFile, unfinished);
    }
    if (!preview) {
        if (failedWrites > 0)
            ui.messageBox(gbk("有 ") + std::to_string(failedWrites) + gbk(" 篇文章未能写入，请检查保存目录是否存在、可写：")
                          + "\r\n" + (naming > 1 ? merged.path() : failedFolder));
        ui.messageBox(gbk("采集完成！"));
        outcome.articles = count;
        ui.messageBox(runSummaryMessage(outcome));
    }
    outcome.articles = count;
    return outcome;
}

} // namespace quillet::harvest
