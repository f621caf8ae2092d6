#include "props/catalogue.h"

namespace qv {

namespace {

// Built as the window's start-up builds it: every row in the summary set as
// VT_LPSTR, then labels and identifiers, then the document summary rows and
// the VT_FILETIME rows.
constexpr std::array<PropertyRow, kRowCount> buildCatalogue() {
    struct Def {
        const char* label;
        std::uint32_t id;
        EditorKind editor;
        const char* element;
        const char* key;
    };
    constexpr Def defs[kRowCount] = {
        {"タイトル", 2, EditorKind::Text, "dc:title", "title"},
        {"表題", 3, EditorKind::Text, "dc:subject", "subject"},
        {"作成者", 4, EditorKind::Text, "dc:creator", "author"},
        {"キーワード", 5, EditorKind::Text, "cp:keywords", "keywords"},
        {"コメント", 6, EditorKind::Text, "dc:description", "comments"},
        {"カテゴリー", 2, EditorKind::Text, "cp:category", "category"},
        {"改訂番号", 9, EditorKind::Number, "cp:revision", "revision"},
        {"前回保存者", 8, EditorKind::Text, "cp:lastModifiedBy", "lastSavedBy"},
        {"管理者", 14, EditorKind::Text, "Manager", "manager"},
        {"会社名", 15, EditorKind::Text, "Company", "company"},
        {"作成日時", 12, EditorKind::DateTime, "dcterms:created", "created"},
        {"前回保存日時", 13, EditorKind::DateTime, "dcterms:modified", "lastSaved"},
        {"編集時間", 10, EditorKind::Minutes, "TotalTime", "editTime"},
        {"前回印刷日時", 11, EditorKind::DateTimeClearable, "cp:lastPrinted", "lastPrinted"},
    };
    std::array<PropertyRow, kRowCount> rows{};
    for (int i = 0; i < kRowCount; ++i) {
        rows[i] = PropertyRow{i,        defs[i].label,  kSummaryInformationSet, defs[i].id, kVtLpstr,
                              defs[i].editor, defs[i].element, defs[i].key};
    }
    for (int i : {kRowCategory, kRowManager, kRowCompany})
        rows[i].PropertySet = kDocSummaryInformationSet;
    for (int i : {kRowCreated, kRowLastSaved, kRowEditTime, kRowLastPrinted})
        rows[i].ValueType = kVtFiletime;
    return rows;
}

}  // namespace

const std::array<PropertyRow, kRowCount> kCatalogue = buildCatalogue();

const std::array<const char*, 7> kFileInfoNames = {"Creation Time", "Modify Time", "Last Access Time", "Read-only",
                                                   "Archive",       "Hidden",      "System"};

int rowForKey(std::string_view key) {
    for (const PropertyRow& r : kCatalogue)
        if (key == r.Key)
            return r.Index;
    return -1;
}

}  // namespace qv
