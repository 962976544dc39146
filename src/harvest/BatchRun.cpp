#include "harvest/BatchRun.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "harvest/MergedFile.h"
#include "text/Numbers.h"
#include "text/Paths.h"
#include "ui/Ui.h"
#include "ui/Window.h"
#include "web/WebClient.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

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

GbkText harvestProduct(const HarvestRequest& request, HarvestContext& context, GbkText& title, GbkText& productId)
{
    title.clear();
    productId.clear();
    // Every product starts with a request object of its own and no cookies.
    web::WebClient client;
    std::optional<ProductInfo> product = resolveProduct(request.line, request.reviewType, client, context);
    if (!product) {
        productId = productIdOf(request.line, context.patternRegex);
        return GbkText();
    }
    compose::PreparedTemplate prepared = compose::prepareTemplate(request.templateText, context.patternRegex);
    harvestReviews(*product, request, prepared.columns, client, context);
    title = product->title;
    productId = product->productId;
    return compose::assembleArticle(prepared, request.contentShuffle);
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
    if (!idFile.open(textOf(window, 编辑框商品ID文件))) {
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
    GbkText line;
    while (idFile.nextLine(line)) {
        ++lineNo;
        if (lineNo < text::textToInteger(textOf(window, 编辑框序号)))
            continue;
        setText(window, 编辑框序号, std::to_string(lineNo));
        if (!line.empty()) {
            // The mall's file-exists check and the write use the same folder and extension.
            const OutputPlace place = outputPlace(window);
            // The line is moved on, never copied: it may be huge.
            const HarvestRequest request = buildRequest(window, std::move(line), count, place);
            GbkText title;
            GbkText productId;
            const GbkText article = harvestProduct(request, context, title, productId);
            if (checkedOf(window, 选择框仅信息框)) {
                ui.messageBox(article, title);
                outcome.kind = RunOutcome::Kind::Previewed;
                break;
            }
            if (!article.empty()) {
                if (naming == 0 || naming == 1) {
                    if (!compose::writeArticleFile(naming, place.folder, place.extension, title, productId, article)
                             .empty()) {
                        ++count;
                        if (context.stopRequested) {
                            outcome.kind = RunOutcome::Kind::Stopped;
                            break;
                        }
                    } else {
                        ++failedWrites;
                        failedFolder = place.folder;
                    }
                } else {
                    openMerged();
                    GbkText mergedLine = naming == 3 ? productId + "|" : GbkText();
                    for (char c : article)
                        if (c != '\r' && c != '\n')
                            mergedLine += c;
                    mergedLine += "\r\n";
                    // Written line by line, whole or not at all: a run that is killed keeps every
                    // article it counted, and a full disk leaves no torn line.
                    if (merged.appendLine(mergedLine))
                        ++count;
                    else
                        ++failedWrites;
                }
            }
        }
        if (context.stopRequested) {
            outcome.kind = RunOutcome::Kind::Stopped;
            break;
        }
    }

    if (checkedOf(window, 选择框仅信息框))
        setText(window, 编辑框序号, startText);
    else
        setText(window, 编辑框序号, std::to_string(text::textToInteger(textOf(window, 编辑框序号)) + 1));

    idFile.close();
    if (merged.isOpen() && !merged.close())
        ++failedWrites; // the system could not keep what it was given
    if (namingBox)
        namingBox->setEnabled(true);
    runButton->setText(gbk("开始采集"));

    if (!checkedOf(window, 选择框仅信息框)) {
        if (failedWrites > 0)
            ui.messageBox(gbk("有 ") + std::to_string(failedWrites) + gbk(" 篇文章未能写入，请检查保存目录是否存在、可写：")
                          + "\r\n" + (naming > 1 ? merged.path() : failedFolder));
        ui.messageBox(gbk("采集完成！"));
    }
    outcome.articles = count;
    outcome.failedWrites = failedWrites;
    return outcome;
}

} // namespace quillet::harvest
