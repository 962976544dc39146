#include "idcollect/CollectContext.h"

#include <string>

namespace quillet::idcollect {

GbkText runFinishedMessage(const GbkText& head, const RunOutcome& outcome, const GbkText& programFolder)
{
    GbkText message = head + std::to_string(outcome.count) + gbk(" 条宝贝！") + "\r\n\r\n" +
                      gbk("右击 .. 目录可以打开该目录，目录下保存着以关键词命名的商品id文件；你可以在【主界面-第一步-商品ID文件】选择本次采集的商品id文件！");
    if (outcome.refusedPage > 0)
        message += "\r\n\r\n" + gbk("注意：淘宝拒绝了更多请求（第 ") + std::to_string(outcome.refusedPage)
            + gbk(" 页），采集已停止；已采集的商品ID都已保存。");
    if (outcome.fileFailed)
        message += "\r\n\r\n" + gbk("注意：商品ID文件未能写入：") + outcome.filePath;
    if (outcome.dumpFailed)
        message += "\r\n\r\n" + gbk("注意：没有找到宝贝的页面未能保存。");
    else if (!outcome.dumpFolder.empty() && outcome.dumpFolder != programFolder)
        message += "\r\n\r\n" + gbk("没有找到宝贝的页面保存在：") + outcome.dumpFolder;
    return message;
}

} // namespace quillet::idcollect
