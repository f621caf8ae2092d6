#include "engine/defaults.h"

#include <algorithm>

#include "base/text.h"
#include "localtext/datetext.h"
#include "props/catalogue.h"

namespace qv::engine {

namespace {

struct TimeNames {
    const char* time;
    const char* checkDate;
    const char* checkTime;
    BatchTimeChoice BatchSettings::*member;
};

constexpr TimeNames kTimes[] = {
    {"createtime", "createtimecheckdate", "createtimechecktime", &BatchSettings::creation},
    {"modifytime", "modifytimecheckdate", "modifytimechecktime", &BatchSettings::lastWrite},
    {"accesstime", "accesstimecheckdate", "accesstimechecktime", &BatchSettings::lastAccess},
};

struct AttributeNames {
    const char* name;
    AttributeChoice AttributeChoices::*member;
};

// "contentindex" is the name under which the system box has always been
// saved.
constexpr AttributeNames kAttributes[] = {
    {"readonly", &AttributeChoices::readOnly},
    {"archive", &AttributeChoices::archive},
    {"hidden", &AttributeChoices::hidden},
    {"contentindex", &AttributeChoices::system},
};

constexpr const char* kBackupName = "backupold";
// Where the backups go (empty: beside each document) and how many each
// document keeps.
constexpr const char* kBackupFolderName = "backupfolder";
constexpr const char* kBackupGenerationsName = "backupgenerations";
// The batch page's user-defined edits: their count, then each one's name,
// type, value and whether it removes.
constexpr const char* kCustomCountName = "customcount";
constexpr int kMostCustomEdits = 1000;

std::string customName(std::size_t i, const char* what) { return "custom" + std::to_string(i + 1) + what; }

std::string stringName(int row) { return std::string(kCatalogue[static_cast<std::size_t>(row)].Label) + "string"; }
std::string checkName(int row) { return std::string(kCatalogue[static_cast<std::size_t>(row)].Label) + "check"; }

// Three-state boxes: "0" grayed, "1" checked, "2" unchecked.
const char* encodeChoice(AttributeChoice c) {
    switch (c) {
    case AttributeChoice::Checked:
        return "1";
    case AttributeChoice::Unchecked:
        return "2";
    case AttributeChoice::Grayed:
        break;
    }
    return "0";
}

AttributeChoice decodeChoice(const std::string& text) {
    if (text == "1")
        return AttributeChoice::Checked;
    if (text == "2")
        return AttributeChoice::Unchecked;
    return AttributeChoice::Grayed;
}

// A saved row value as the batch grid takes it, by the row's kind.
std::string importRowText(int row, const std::string& text, LocalDateTime now) {
    if (row == kRowCreated || row == kRowLastSaved)
        return ParseDateTimeText(text) ? text : FormatDateTimeText(now);
    if (row == kRowLastPrinted)
        return text.empty() || ParseDateTimeText(text) ? text : FormatDateTimeText(now);
    return text;
}

}  // namespace

std::vector<NamedText> EncodeDefaults(const BatchSettings& s) {
    std::vector<NamedText> out;
    for (const TimeNames& t : kTimes) {
        const BatchTimeChoice& c = s.*(t.member);
        out.push_back({t.time, FormatDateTimeText(ComposeDateTime(WholeDays(c.date), TimeOfDay(c.time)))});
        out.push_back({t.checkDate, c.replaceDate ? "1" : "0"});
        out.push_back({t.checkTime, c.replaceTime ? "1" : "0"});
    }
    for (const AttributeNames& a : kAttributes)
        out.push_back({a.name, encodeChoice(s.attributes.*(a.member))});
    for (int row = 0; row < kRowCount; ++row) {
        out.push_back({stringName(row), s.values[static_cast<std::size_t>(row)]});
        out.push_back({checkName(row), s.ticked.test(static_cast<std::size_t>(row)) ? "1" : "0"});
    }
    out.push_back({kBackupName, s.backup ? "1" : ""});
    out.push_back({kBackupFolderName, s.backupPolicy.folder});
    out.push_back({kBackupGenerationsName, std::to_string(s.backupPolicy.generations)});
    out.push_back({kCustomCountName, std::to_string(s.custom.size())});
    for (std::size_t i = 0; i < s.custom.size(); ++i) {
        const CustomEditText& c = s.custom[i];
        out.push_back({customName(i, "name"), c.name});
        out.push_back({customName(i, "type"), CustomTypeKey(c.type)});
        out.push_back({customName(i, "value"), c.value});
        out.push_back({customName(i, "remove"), c.remove ? "1" : "0"});
    }
    return out;
}

DefaultsImport DecodeDefaults(const BatchSettings& current,
                              const std::function<StoredValue(const std::string& name)>& read,
                              LocalDateTime now) {
    DefaultsImport result{current, std::nullopt};
    BatchSettings& s = result.settings;
    // Reads one value; false (and the name kept) when it is not text.
    auto get = [&](const std::string& name, std::optional<std::string>& text) {
        StoredValue v = read(name);
        if (v.kind == StoredValue::Kind::OtherType) {
            result.wrongType = name;
            return false;
        }
        text = v.kind == StoredValue::Kind::Text ? std::optional<std::string>(std::move(v.text)) : std::nullopt;
        return true;
    };
    std::optional<std::string> text;

    for (const TimeNames& t : kTimes) {
        BatchTimeChoice& c = s.*(t.member);
        if (!get(t.time, text))
            return result;
        const LocalDateTime at = text ? ParseDateTimeText(*text).value_or(now) : now;
        c.date = at;
        c.time = at;
        // Any saved text but "0" ticks the box. With nothing saved it stays
        // unticked: a batch run would otherwise move every file's times to
        // the moment the window opened, unasked.
        if (!get(t.checkDate, text))
            return result;
        c.replaceDate = text && *text != "0";
        if (!get(t.checkTime, text))
            return result;
        c.replaceTime = text && *text != "0";
    }

    s.attributes = AttributeChoices{};
    for (const AttributeNames& a : kAttributes) {
        if (!get(a.name, text))
            return result;
        s.attributes.*(a.member) = text ? decodeChoice(*text) : AttributeChoice::Grayed;
    }

    if (!get(kBackupName, text))
        return result;
    s.backup = text && *text == "1";
    if (!get(kBackupFolderName, text))
        return result;
    s.backupPolicy.folder = text.value_or(std::string());
    if (!get(kBackupGenerationsName, text))
        return result;
    const auto generations = text ? text::parseInt32(*text) : std::nullopt;
    s.backupPolicy.generations = generations && *generations >= 2 ? *generations : kDefaultBackupGenerations;

    for (int row = 0; row < kRowCount; ++row) {
        const auto i = static_cast<std::size_t>(row);
        if (!get(stringName(row), text))
            return result;
        s.values[i] = importRowText(row, text.value_or(std::string()), now);
        if (!get(checkName(row), text))
            return result;
        s.ticked.set(i, text && *text == "1");
    }

    s.custom.clear();
    if (!get(kCustomCountName, text))
        return result;
    auto count = text ? text::parseInt32(*text) : std::nullopt;
    for (int i = 0; count && i < std::min(*count, kMostCustomEdits); ++i) {
        const auto k = static_cast<std::size_t>(i);
        CustomEditText c;
        if (!get(customName(k, "name"), text))
            return result;
        c.name = text.value_or(std::string());
        if (!get(customName(k, "type"), text))
            return result;
        c.type = text ? CustomTypeFromKey(*text).value_or(CustomType::Text) : CustomType::Text;
        if (!get(customName(k, "value"), text))
            return result;
        c.value = text.value_or(std::string());
        if (!get(customName(k, "remove"), text))
            return result;
        c.remove = text && *text == "1";
        // An entry without a name is of no use to any file.
        if (!text::trim(c.name).empty())
            s.custom.push_back(std::move(c));
    }
    return result;
}

}  // namespace qv::engine
