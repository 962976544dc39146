#pragma once

#include "regex/RegexObject.h"
#include "text/GbkText.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <map>
#include <memory>
#include <string_view>

namespace quillet::harvest {

// Reads the attributes of review records ("颜色分类:黑色;尺码:XL" or {"desc":"黑色","name":"颜色"})
// for the template's fields, with the results of the pattern reading (skuValue) but without
// running a pattern in the common case:
// - each field name is prepared once (searchers for "name:" and "name分类:", the end marker of
//   the desc/name form, and the pattern only if it is needed);
// - a record is looked at once for what all its fields share: whether it is plain two-byte
//   text, and whether it holds a desc/name object at all;
// - "name:" followed by a run of characters is read by a plain scan when the name has no letter
//   whose case the pattern engine would fold beyond ASCII and the record is plain two-byte text;
//   otherwise the pattern runs, as before.
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
    [[nodiscard]] bool plainRecord();
    [[nodiscard]] bool colonForm(const Field& field, int pass, GbkText& value);
    [[nodiscard]] GbkText descForm(const Field& field, int pass);

    std::map<GbkText, std::unique_ptr<Field>> m_fields;
    text::Searcher m_descStart;
    std::string_view m_record;
    text::TextScan m_scan;
    GbkText m_recordCopy; // the record as the pattern engine needs it, made when first needed
    bool m_recordCopied = false;
    int m_plain = -1;     // -1 not looked at yet, else 0 or 1
    int m_hasDesc = -1;
    std::size_t m_firstDesc = 0; // where the first desc/name object starts, when m_hasDesc is 1
};

} // namespace quillet::harvest
