// Charset detection and decoding. GBK text of any bytes, invalid ones included, survives
// GBK -> UTF-8 -> GBK and GBK -> UTF-16 -> GBK with escapes; the lenient decoders read
// something out of any non-empty body; detection and decoding of a fetched body end with a
// known charset code and never lose a body that nothing can convert.

#include "FuzzSupport.h"

#include "text/Charset.h"
#include "web/CharsetDetection.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int requested = in.ConsumeIntegralInRange(0, 7); // 7: a code outside the table
    const bool gbkDeclared = in.ConsumeBool();
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    const std::string utf8 = text::gbkToUtf8(bytes, text::Invalid::Escape);
    fuzz::check(text::utf8ToGbk(utf8) == bytes, "GBK -> UTF-8 -> GBK gives the same bytes", fuzz::hex(bytes));
    const std::u16string utf16 = text::gbkToUtf16(bytes, text::Invalid::Escape);
    fuzz::check(text::utf16ToGbk(utf16) == bytes, "GBK -> UTF-16 -> GBK gives the same bytes", fuzz::hex(bytes));

    // What the user sees is valid UTF-8 (so UTF-8 -> GB18030 accepts it).
    const std::string shown = text::gbkToUtf8(bytes, text::Invalid::Replace);
    fuzz::check(shown.empty() == bytes.empty(), "a shown text is empty only for empty bytes", fuzz::hex(bytes));
    fuzz::check(bytes.empty() || !text::convertToGb18030(shown, "UTF-8").empty(), "a shown text is valid UTF-8",
                fuzz::hex(bytes));

    static const char* const charsets[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "BIG5", "BIG5-HKSCS", "GBK"};
    for (const char* charset : charsets) {
        const GbkText lenient = text::convertToGb18030Lenient(bytes, charset);
        fuzz::check(lenient.empty() == bytes.empty(), "lenient decoding reads every body", charset);
        (void)text::convertToGb18030(bytes, charset);
    }
    for (const int codePage : {65001, 936, 950})
        (void)text::codePageToGb18030(bytes, codePage);

    int detected = -1;
    const GbkText decoded = web::decodeToGbk(bytes, requested, detected, gbkDeclared);
    fuzz::check(decoded.empty() == bytes.empty(), "a body always decodes to something", fuzz::hex(bytes));
    fuzz::check(bytes.empty() || (detected >= 1 && detected <= 6) || detected == requested, "a known charset is used",
                std::to_string(detected));
    (void)web::metaCharset(bytes);
    (void)web::metaDeclaresGbk(bytes);
    return 0;
}
