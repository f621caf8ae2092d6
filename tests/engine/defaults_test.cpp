#include <gtest/gtest.h>

#include <map>

#include "engine/defaults.h"
#include "enginetest.h"
#include "props/catalogue.h"

using namespace qv;
using namespace qv::engine;

namespace {

// A store as a plain map; names absent from it are missing.
struct MapStore {
    std::map<std::string, StoredValue> values;
    std::vector<std::string> asked;

    StoredValue operator()(const std::string& name) {
        asked.push_back(name);
        auto it = values.find(name);
        return it == values.end() ? StoredValue::missing() : it->second;
    }
    static MapStore of(const std::vector<NamedText>& saved) {
        MapStore s;
        for (const NamedText& v : saved)
            s.values[v.name] = StoredValue::of(v.text);
        return s;
    }
};

std::string label(int row) { return kCatalogue[static_cast<std::size_t>(row)].Label; }

class DefaultsTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    const LocalDateTime now = EncodeLocal({2024, 5, 6, 7, 8, 9, 0});

    DefaultsImport import(MapStore& store, const BatchSettings& current = {}) {
        return DecodeDefaults(current, std::ref(store), now);
    }
};

BatchSettings everythingSet() {
    BatchSettings s;
    for (int row = 0; row < kRowCount; ++row)
        s.values[static_cast<std::size_t>(row)] = "value " + std::to_string(row);
    s.values[kRowCreated] = "2001/02/03 4:05:06";
    s.values[kRowLastSaved] = "2002/03/04";
    s.values[kRowLastPrinted] = "";
    s.values[kRowRevision] = "17";
    s.ticked.set(kRowTitle).set(kRowEditTime).set(kRowLastPrinted);
    s.creation = {true, false, EncodeLocal({2010, 4, 1, 0, 0, 0, 0}), EncodeLocal({1999, 1, 1, 9, 30, 0, 0})};
    s.lastWrite = {false, true, EncodeLocal({2011, 5, 2, 0, 0, 0, 0}), EncodeLocal({1999, 1, 1, 23, 59, 59, 0})};
    s.lastAccess = {false, false, EncodeLocal({2012, 6, 3, 0, 0, 0, 0}), EncodeLocal({1999, 1, 1, 0, 0, 1, 0})};
    s.attributes = {AttributeChoice::Checked, AttributeChoice::Unchecked, AttributeChoice::Grayed,
                    AttributeChoice::Unchecked};
    s.backup = true;
    s.backupPolicy = {"/srv/backups", 7};
    return s;
}

TEST_F(DefaultsTest, SavesEveryValueByNameInOrder) {
    const std::vector<NamedText> saved = EncodeDefaults(everythingSet());
    ASSERT_EQ(saved.size(), 9u + 4u + 28u + 3u + 1u);
    EXPECT_EQ(saved[0], (NamedText{"createtime", "2010/04/01 9:30:00"}));
    EXPECT_EQ(saved[1], (NamedText{"createtimecheckdate", "1"}));
    EXPECT_EQ(saved[2], (NamedText{"createtimechecktime", "0"}));
    EXPECT_EQ(saved[3], (NamedText{"modifytime", "2011/05/02 23:59:59"}));
    EXPECT_EQ(saved[5], (NamedText{"modifytimechecktime", "1"}));
    // Midnight is written without its time.
    EXPECT_EQ(saved[6], (NamedText{"accesstime", "2012/06/03 0:00:01"}));
    // Three-state boxes: "0" grey, "1" ticked, "2" unticked.
    EXPECT_EQ(saved[9], (NamedText{"readonly", "1"}));
    EXPECT_EQ(saved[10], (NamedText{"archive", "2"}));
    EXPECT_EQ(saved[11], (NamedText{"hidden", "0"}));
    EXPECT_EQ(saved[12], (NamedText{"contentindex", "2"}));
    // Each row's text, then its tick, in catalogue order.
    EXPECT_EQ(saved[13], (NamedText{"タイトルstring", "value 0"}));
    EXPECT_EQ(saved[14], (NamedText{"タイトルcheck", "1"}));
    EXPECT_EQ(saved[13 + 2 * kRowLastPrinted], (NamedText{"前回印刷日時string", ""}));
    EXPECT_EQ(saved[14 + 2 * kRowLastPrinted], (NamedText{"前回印刷日時check", "1"}));
    EXPECT_EQ(saved[41], (NamedText{"backupold", "1"}));
    EXPECT_EQ(saved[42], (NamedText{"backupfolder", "/srv/backups"}));
    EXPECT_EQ(saved[43], (NamedText{"backupgenerations", "7"}));
    // Then the user-defined edits: their count, and four values each.
    EXPECT_EQ(saved.back(), (NamedText{"customcount", "0"}));

    BatchSettings off = everythingSet();
    off.backup = false;
    off.custom = {{"Client", CustomType::Number, "12", false}, {"MSIP_Label", CustomType::Text, "", true}};
    const std::vector<NamedText> more = EncodeDefaults(off);
    EXPECT_EQ(more[41], (NamedText{"backupold", ""}));
    ASSERT_EQ(more.size(), saved.size() + 8);
    EXPECT_EQ(more[44], (NamedText{"customcount", "2"}));
    EXPECT_EQ(more[45], (NamedText{"custom1name", "Client"}));
    EXPECT_EQ(more[46], (NamedText{"custom1type", "number"}));
    EXPECT_EQ(more[47], (NamedText{"custom1value", "12"}));
    EXPECT_EQ(more[48], (NamedText{"custom1remove", "0"}));
    EXPECT_EQ(more.back(), (NamedText{"custom2remove", "1"}));
}

TEST_F(DefaultsTest, SaveThenImportRestoresEverything) {
    BatchSettings s = everythingSet();
    s.custom = {{"案件", CustomType::Date, "2010/04/01 9:30:00", false}, {"Old", CustomType::Text, "", true}};
    MapStore store = MapStore::of(EncodeDefaults(s));
    const DefaultsImport back = import(store);
    EXPECT_FALSE(back.wrongType);
    // The pickers come back as the saved date plus the saved time.
    BatchSettings expected = s;
    for (BatchTimeChoice* t : {&expected.creation, &expected.lastWrite, &expected.lastAccess})
        t->date = t->time = ComposeDateTime(WholeDays(t->date), TimeOfDay(t->time));
    EXPECT_EQ(back.settings, expected);
}

TEST_F(DefaultsTest, FirstStartGivesTheDocumentedPage) {
    MapStore empty;
    const BatchSettings s = import(empty, everythingSet()).settings;
    // The time boxes start unticked: a run changes no file's times unasked.
    for (const BatchTimeChoice* t : {&s.creation, &s.lastWrite, &s.lastAccess}) {
        EXPECT_FALSE(t->replaceDate);
        EXPECT_FALSE(t->replaceTime);
        EXPECT_EQ(t->date, now);
        EXPECT_EQ(t->time, now);
    }
    EXPECT_EQ(s.attributes, AttributeChoices{});
    EXPECT_FALSE(s.backup);
    EXPECT_EQ(s.backupPolicy, BackupPolicy{});
    EXPECT_TRUE(s.ticked.none());
    for (int row = 0; row < kRowCount; ++row) {
        const std::string& v = s.values[static_cast<std::size_t>(row)];
        if (row == kRowCreated || row == kRowLastSaved)
            EXPECT_EQ(v, "2024/05/06 7:08:09") << row;
        else
            EXPECT_EQ(v, "") << row;
    }
}

TEST_F(DefaultsTest, ImportRulesByValue) {
    MapStore store;
    store.values["createtimecheckdate"] = StoredValue::of("2");  // any text but "0" ticks
    store.values["createtimechecktime"] = StoredValue::of("0");
    store.values["modifytime"] = StoredValue::of("not a date");
    store.values["readonly"] = StoredValue::of("7");  // unknown: grey
    store.values["contentindex"] = StoredValue::of("2");
    store.values["backupold"] = StoredValue::of("yes");
    store.values[label(kRowCreated) + "string"] = StoredValue::of("garbage");
    store.values[label(kRowLastSaved) + "string"] = StoredValue::of("");
    store.values[label(kRowLastPrinted) + "string"] = StoredValue::of("garbage");
    store.values[label(kRowRevision) + "string"] = StoredValue::of("abc");  // kept as stored
    store.values[label(kRowTitle) + "check"] = StoredValue::of("2");
    store.values[label(kRowAuthor) + "check"] = StoredValue::of("1");
    const BatchSettings s = import(store).settings;
    EXPECT_TRUE(s.creation.replaceDate);
    EXPECT_FALSE(s.creation.replaceTime);
    EXPECT_EQ(s.lastWrite.date, now);
    EXPECT_EQ(s.attributes.readOnly, AttributeChoice::Grayed);
    EXPECT_EQ(s.attributes.system, AttributeChoice::Unchecked);
    EXPECT_FALSE(s.backup);
    EXPECT_EQ(s.values[kRowCreated], "2024/05/06 7:08:09");
    EXPECT_EQ(s.values[kRowLastSaved], "2024/05/06 7:08:09");
    EXPECT_EQ(s.values[kRowLastPrinted], "2024/05/06 7:08:09");
    EXPECT_EQ(s.values[kRowRevision], "abc");
    EXPECT_FALSE(s.ticked.test(kRowTitle));
    EXPECT_TRUE(s.ticked.test(kRowAuthor));
}

TEST_F(DefaultsTest, WrongTypeStopsTheImportThere) {
    MapStore store = MapStore::of(EncodeDefaults(everythingSet()));
    store.values["hidden"] = StoredValue::otherType();
    BatchSettings current;
    current.values[kRowTitle] = "untouched";
    current.backup = false;
    const DefaultsImport r = import(store, current);
    ASSERT_TRUE(r.wrongType);
    EXPECT_EQ(*r.wrongType, "hidden");
    EXPECT_EQ(store.asked.back(), "hidden");
    // Applied before it: the times and the first two attribute boxes.
    EXPECT_TRUE(r.settings.creation.replaceDate);
    EXPECT_EQ(r.settings.attributes.readOnly, AttributeChoice::Checked);
    EXPECT_EQ(r.settings.attributes.archive, AttributeChoice::Unchecked);
    // Not read: grey as the import set it first, and the rest as they were.
    EXPECT_EQ(r.settings.attributes.system, AttributeChoice::Grayed);
    EXPECT_FALSE(r.settings.backup);
    EXPECT_EQ(r.settings.values[kRowTitle], "untouched");
}

}  // namespace
