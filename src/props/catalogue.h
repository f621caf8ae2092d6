// The property catalogue: the fourteen document summary properties, in the
// order every other part of the tool refers to them by row number.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qv {

enum class EditorKind {
    Text,
    Number,             // whole number 0 to 32767 (the revision number)
    Minutes,            // whole number of minutes (the editing time)
    DateTime,           // date and time
    DateTimeClearable,  // date and time that may be cleared (last printed)
};

// Which property set of a compound-file document holds a property.
constexpr int kSummaryInformationSet = 1;
constexpr int kDocSummaryInformationSet = 2;

// Variant types the tool writes.
constexpr std::uint16_t kVtLpstr = 30;
constexpr std::uint16_t kVtFiletime = 64;

struct PropertyRow {
    int Index;
    const char* Label;            // the Japanese caption, also CSV head and settings prefix
    int PropertySet;              // kSummaryInformationSet or kDocSummaryInformationSet
    std::uint32_t PropertyId;
    std::uint16_t ValueType;      // kVtLpstr or kVtFiletime
    EditorKind Editor;
    const char* PackageElement;   // the element of a package's property part
    const char* Key;              // stable machine key for the command line and JSON
};

constexpr int kRowCount = 14;

constexpr int kRowTitle = 0;
constexpr int kRowSubject = 1;
constexpr int kRowAuthor = 2;
constexpr int kRowKeywords = 3;
constexpr int kRowComments = 4;
constexpr int kRowCategory = 5;
constexpr int kRowRevision = 6;
constexpr int kRowLastSavedBy = 7;
constexpr int kRowManager = 8;
constexpr int kRowCompany = 9;
constexpr int kRowCreated = 10;
constexpr int kRowLastSaved = 11;
constexpr int kRowEditTime = 12;
constexpr int kRowLastPrinted = 13;

extern const std::array<PropertyRow, kRowCount> kCatalogue;

// The seven file-information names, heads of the CSV columns after the
// fourteen property columns.
extern const std::array<const char*, 7> kFileInfoNames;

constexpr const char* kFmtidSummaryInformation = "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";
constexpr const char* kFmtidDocSummaryInformation = "{D5CDD502-2E9C-101B-9397-08002B2CF9AE}";

// The row of a machine key, or -1.
int rowForKey(std::string_view key);

inline bool isDateRow(int row) { return row == kRowCreated || row == kRowLastSaved || row == kRowLastPrinted; }
inline bool isNumberRow(int row) { return row == kRowRevision || row == kRowEditTime; }

}  // namespace qv
