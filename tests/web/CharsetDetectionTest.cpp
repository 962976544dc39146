#include "web/CharsetDetection.h"
#include "web/WebClient.h"

#include "text/Charset.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <iconv.h>

using quillet::gbk;
using quillet::web::containsAnyOf;
using quillet::web::declaredCharset;
using quillet::web::decodeToGbk;
using quillet::web::isGbkFamily;
using quillet::web::metaCharset;
using quillet::web::metaDeclaresGbk;

namespace {

// "中文" in the encodings the decoder meets.
const std::string kGbk = "\xD6\xD0\xCE\xC4";
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kBig5 = "\xA4\xA4\xA4\xE5";
const std::string kUtf16Le = std::string("\x2D\x4E\x87\x65", 4);
const std::string kUtf16Be = std::string("\x4E\x2D\x65\x87", 4);

// Encodes UTF-8 text into another charset with iconv ("" when it cannot).
std::string encode(const std::string& utf8, const char* charset)
{
    iconv_t cd = iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    out.resize(out.size() - outLeft);
    return out;
}

std::string page(const std::string& meta, const std::string& bodyText)
{
    return "<html><head>" + meta + "<title>t</title></head><body>" + bodyText + "</body></html>";
}

struct Decoded {
    std::string text;
    int detected;
};

Decoded decode(const std::string& body, int requested = 0, bool gbkDeclared = false)
{
    int detected = -99;
    std::string text = decodeToGbk(body, requested, detected, gbkDeclared);
    return {text, detected};
}

} // namespace

TEST(DecodeToGbk, ByteOrderMarksDecideAndAreDropped)
{
    Decoded d = decode("\xEF\xBB\xBF" + kUtf8);
    EXPECT_EQ(d.text, kGbk);
    EXPECT_EQ(d.detected, 2);

    d = decode("\xFF\xFE" + kUtf16Le);
    EXPECT_EQ(d.text, kGbk);
    EXPECT_EQ(d.detected, 3);

    d = decode("\xFE\xFF" + kUtf16Be);
    EXPECT_EQ(d.text, kGbk);
    EXPECT_EQ(d.detected, 4);
}

TEST(DecodeToGbk, MetaDeclarationsChooseTheCharset)
{
    // Lower case, in double quotes, UTF-8 without a mark.
    Decoded d = decode(page("<meta charset=\"utf-8\">", kUtf8));
    EXPECT_EQ(d.detected, 2);
    EXPECT_EQ(d.text, page("<meta charset=\"utf-8\">", kGbk));

    d = decode(page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">", kBig5));
    EXPECT_EQ(d.detected, 5);
    EXPECT_NE(d.text.find(kGbk), std::string::npos);

    d = decode(page("<META content='text/html; charset=Big5-HKSCS'>", kBig5));
    EXPECT_EQ(d.detected, 6);
    EXPECT_NE(d.text.find(kGbk), std::string::npos);
}

TEST(DecodeToGbk, BigFiveHongKongCharactersSurvive)
{
    const std::string hk = encode("\xE3\x97\x8E", "BIG5-HKSCS"); // U+35CE, a Hong Kong character
    ASSERT_FALSE(hk.empty());
    const Decoded d = decode(page("<meta charset=\"Big5-HKSCS\">", hk));
    EXPECT_EQ(d.detected, 6);
    EXPECT_NE(d.text.find(quillet::text::utf8ToGbk("\xE3\x97\x8E")), std::string::npos);

    // A stray byte no longer leaves a Big5 page undecoded: it becomes "?", and a Hong Kong
    // character beside it still survives.
    for (const char* name : {"Big5", "Big5-HKSCS"})
        EXPECT_NE(decode(page(std::string("<meta charset=\"") + name + "\">", kBig5 + "\xFF" + kBig5)).text.find(
                      kGbk + "?" + kGbk),
                  std::string::npos)
            << name;
    EXPECT_NE(decode(page("<meta charset=\"Big5-HKSCS\">", hk + "\xFF")).text.find(
                  quillet::text::utf8ToGbk("\xE3\x97\x8E") + "?"),
              std::string::npos);
}

TEST(DecodeToGbk, UndeclaredBodiesTryUtf8ThenStayAsTheyAre)
{
    // Plain ASCII: unchanged, reported as GBK.
    Decoded d = decode("<html>plain</html>");
    EXPECT_EQ(d.text, "<html>plain</html>");
    EXPECT_EQ(d.detected, 1);

    // UTF-8 without any declaration is recognised because the text shrinks.
    d = decode("x" + kUtf8);
    EXPECT_EQ(d.text, "x" + kGbk);
    EXPECT_EQ(d.detected, 2);

    // GBK that is not valid UTF-8 comes back unchanged.
    d = decode(page("", kGbk + "abc"));
    EXPECT_EQ(d.text, page("", kGbk + "abc"));
    EXPECT_EQ(d.detected, 1);
}

TEST(DecodeToGbk, DeclaredGbkIsNeverReadAsUtf8)
{
    // These bytes are valid GBK and valid UTF-8 alike: without a declaration they are read as UTF-8.
    const std::string ambiguous = kUtf8;
    EXPECT_EQ(decode(ambiguous).detected, 2);

    Decoded d = decode(ambiguous, 0, true); // the answer's header said GBK
    EXPECT_EQ(d.text, ambiguous);
    EXPECT_EQ(d.detected, 1);

    const std::string declared = page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">", ambiguous);
    d = decode(declared);
    EXPECT_EQ(d.text, declared);
    EXPECT_EQ(d.detected, 1);

    d = decode(page("<meta charset='GB18030'>", ambiguous), 1);
    EXPECT_EQ(d.detected, 1);
    EXPECT_NE(d.text.find(ambiguous), std::string::npos);
}

TEST(DecodeToGbk, RequestedCodesSkipTheirMarksAndFallBack)
{
    // 2 skips a UTF-8 mark only when present.
    EXPECT_EQ(decode("\xEF\xBB\xBF" + kUtf8, 2).text, kGbk);
    EXPECT_EQ(decode(kUtf8, 2).text, kGbk);
    // 3 and 4 skip two bytes without looking at them.
    EXPECT_EQ(decode("??" + kUtf16Le, 3).text, kGbk);
    EXPECT_EQ(decode("??" + kUtf16Be, 4).text, kGbk);
    // 5 reads Big5 from the first byte.
    EXPECT_EQ(decode(kBig5, 5).text, kGbk);

    // Invalid UTF-8 under 2: the lenient second decoder still gives text.
    const Decoded bad = decode("ab\xFF" "cd", 2);
    EXPECT_EQ(bad.detected, 2);
    EXPECT_EQ(bad.text.substr(0, 2), "ab");
    EXPECT_EQ(bad.text.substr(bad.text.size() - 2), "cd");

    // Nothing left after the mark: the body comes back whole, as GBK.
    const Decoded onlyMark = decode("\xEF\xBB\xBF");
    EXPECT_EQ(onlyMark.text, "\xEF\xBB\xBF");
    EXPECT_EQ(onlyMark.detected, 1);

    // An unknown code behaves like 1.
    EXPECT_EQ(decode(kGbk, 9).text, kGbk);
}

TEST(DecodeToGbk, EmptyBodyGivesEmptyText)
{
    const Decoded d = decode("", 0);
    EXPECT_EQ(d.text, "");
    EXPECT_EQ(d.detected, 0);
    EXPECT_EQ(quillet::web::WebClient::decodeToGbk("", 3), "");
}

TEST(MetaCharset, ReadsTheHeadsMetaElementsInOrder)
{
    EXPECT_FALSE(metaCharset("").found);
    EXPECT_FALSE(metaCharset(page("<meta name=\"x\">", "")).found);

    auto code = [](const std::string& p) {
        const auto m = metaCharset(p);
        return m.found ? m.code : 0;
    };
    EXPECT_EQ(code(page("<meta charset=UTF-8>", "")), 1);
    EXPECT_EQ(code(page("<meta charset=\"utf-8\">", "")), 1);
    EXPECT_EQ(code(page("<meta charset='Utf-8'>", "")), 1);
    EXPECT_EQ(code(page("<meta charset=big5>", "")), 2);
    EXPECT_EQ(code(page("<meta charset=\"BIG5-hkscs\">", "")), 3);
    // The first element that names a known charset decides.
    EXPECT_EQ(code(page("<meta name=a><meta charset=big5><meta charset=utf-8>", "")), 2);
    // Only the head is read when there is one ...
    EXPECT_EQ(code("<html><head><title>x</title></head><body><meta charset=utf-8></body>"), 0);
    // ... and the whole page when there is none.
    EXPECT_EQ(code("<html><meta charset=utf-8><body></body>"), 1);
    // Letter case of the tags does not matter.
    EXPECT_EQ(code("<HTML><HEAD><META CHARSET=UTF-8></HEAD></HTML>"), 1);
    // A "<head>" whose '<' is the second byte of a two-byte character is no head.
    EXPECT_EQ(code("\x81<head><title>x</title></head><meta charset=big5>"), 2);
    EXPECT_EQ(code("<hEaD>\x81</head><meta charset=big5></HEAD>"), 2);
    // A declaration with a blank after "=" is not one of the listed forms.
    EXPECT_EQ(code(page("<meta charset= utf-8>", "")), 0);
}

TEST(MetaCharset, GbkDeclarationsAndHeaderCharsets)
{
    EXPECT_TRUE(metaDeclaresGbk(page("<meta charset=\"gbk\">", "")));
    EXPECT_TRUE(metaDeclaresGbk(page("<meta content=\"text/html; charset=GB2312\">", "")));
    EXPECT_FALSE(metaDeclaresGbk(page("<meta charset=\"utf-8\">", "")));
    EXPECT_FALSE(metaDeclaresGbk("gbk"));

    EXPECT_EQ(declaredCharset("text/html; charset=GBK"), "gbk");
    EXPECT_EQ(declaredCharset("text/html;charset=\"utf-8\""), "utf-8");
    EXPECT_EQ(declaredCharset("text/html; Charset = 'big5-hkscs'; x=y"), "big5-hkscs");
    EXPECT_EQ(declaredCharset("text/html"), "");
    EXPECT_TRUE(isGbkFamily("GB18030"));
    EXPECT_TRUE(isGbkFamily("cp936"));
    EXPECT_FALSE(isGbkFamily("big5"));
    EXPECT_FALSE(isGbkFamily(""));
}

TEST(ContainsAnyOf, SplitsAtTheSeparatorAndIgnoresCase)
{
    EXPECT_TRUE(containsAnyOf("abc CHARSET=UTF-8 x", "charset=utf-8[fg]nothing"));
    EXPECT_TRUE(containsAnyOf("x charset=\"utf-8\"", "charset=''UTF-8''"));
    EXPECT_FALSE(containsAnyOf("x charset=''utf-8''", "charset=''UTF-8''"));
    EXPECT_FALSE(containsAnyOf("anything", ""));
    EXPECT_FALSE(containsAnyOf("anything", "[fg]"));
    EXPECT_FALSE(containsAnyOf("", "a[fg]b"));
    EXPECT_TRUE(containsAnyOf(gbk("前中文后"), gbk("中文")));
}
