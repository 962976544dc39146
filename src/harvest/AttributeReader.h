#pragma once

#include "regex/RegexObject.h"
#include "text/GbkText.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

namespace quillet::harvest {

// Reads the attributes of review records ("颜色分类:黑色;尺码:XL" or {"desc":"黑色","name":"颜色"})
// for the template's fields, with the results of the pattern reading (skuValue) but without
// running a pattern in the common case:
// - each field name is prepared once (searchers for "name:" and "name分类:", the end marker of
//   the desc/name form, and the pattern only if it is needed);
// - a field whose name the pattern reads as the searches do (plain two-byte text, letters that
//   fold only within ASCII) is read by one walk through the places of its bare name, which
//   tells "name:", "name分类:" and the ends of both desc/name objects apart, instead of a
//   whole-record search per pass and form; other names go pass by pass;
// - a record is looked at once for what all its fields share: how much of it is plain two-byte
//   text (only as far as a value needs), and whether it holds a desc/name object at all;
// - "name:" followed by a run of characters is read by a plain scan when the name has no letter
//   whose case the pattern engine would fold beyond ASCII and the record is plain two-byte text
//   up to the run's end; otherwise the pattern runs, as before.
class AttributeReader {
public:
    // The prepared forms of one field name; stays valid as long as the reader.
    struct Field;

    AttributeReader();
    ~AttributeReader();
    AttributeReader(const AttributeReader&) = delete;
    AttributeReader& operator=(const AttributeReader&) = delete;

    // The prepared forms of a field name (made on first use).
    [[nodiscard]] const Field& field(const GbkText& name);
    // Forgets the prepared fields when more than `limit` are kept; invalidates every Field.
    void trim(std::size_t limit);

    // The record the following value() calls read; it must stay unchanged meanwhile.
    void setRecord(std::string_view record);
    // The field's value in the current record; empty values become "无" when emptyAsNone, else " ".
    [[nodiscard]] GbkText value(const Field& field, bool emptyAsNone);

private:
    // Whether [0, end) of the record is plain two-byte text; looks only past what is known.
    [[nodiscard]] bool plainBefore(std::size_t end);
    enum class Form { None, Colon, Desc };
    // The raw value (a view of the record or of m_value) by one walk through the places of
    // the field's name, or pass by pass, and the form it was found in.
    [[nodiscard]] Form readByName(const Field& field, std::string_view& value);
    [[nodiscard]] Form readByPasses(const Field& field, std::string_view& value);
    // A key of ASCII characters, 8 to 16 of them, compared in place as the searches compare it:
    // its letters in either case.
    class AsciiKey {
    public:
        explicit AsciiKey(std::string_view key);
        // Whether the key's bytes are at `p` (which must have size() bytes to read).
        [[nodiscard]] bool matchesAt(const char* p) const;

    private:
        std::size_t m_size;
        std::uint64_t m_canon[2];
        std::uint64_t m_fold[2];
    };
    // Whether the key is at `at` as the searches would find it there, at a character start.
    [[nodiscard]] bool keyAt(const AsciiKey& key, std::size_t at);
    [[nodiscard]] bool colonForm(const Field& field, int pass, std::string_view& value);
    [[nodiscard]] bool patternForm(const Field& field, int pass, std::string_view& value);
    [[nodiscard]] bool descForm(const Field& field, int pass, std::string_view& value);
    [[nodiscard]] bool descValue(std::size_t end, std::string_view& value);

    std::map<GbkText, std::unique_ptr<Field>> m_fields;
    text::Searcher m_descStart; // {"desc":"
    GbkText m_descNameKey;      // ","name":"
    GbkText m_category;         // 分类
    GbkText m_none;             // 无
    AsciiKey m_descStartAt;
    AsciiKey m_descNameKeyAt;
    std::string_view m_record;
    text::TextScan m_scan;
    GbkText m_recordCopy; // the record as the pattern engine needs it, made when first needed
    bool m_recordCopied = false;
    std::size_t m_plainTo = 0; // [0, m_plainTo) is plain two-byte text
    bool m_notPlain = false;
    int m_hasDesc = -1;          // -1 not looked at yet, else 0 or 1
    std::size_t m_firstDesc = 0; // where the first desc/name object starts, when m_hasDesc is 1
    GbkText m_value;             // a value that is not a piece of the record
};

} // namespace quillet::harvest
