#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/cats_fixture.h"
#include "tests/support/file_error_print.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using Keys = std::vector<std::string>;
namespace fs = std::filesystem;

// Makes the dictionary dirty without changing its content.
void touch(C_UserTailoDB& db) {
    ASSERT_TRUE(db.addKeysToWord("bue7", 'T', "buē", 0, {}, 0));
    ASSERT_TRUE(db.eraseWord("bue7", 'T', "buē"));
}

const std::string kEmptyFile = std::string("\xFF\xFE\x00\x01\x03\x00\x00\x00", 8) +
                               std::string(16, '\0') + std::string("noun\0place\0city\0", 16);

TEST(UserDbFile, EmptyDictionarySavesHeaderAndCategoryNames) {
    C_UserDbSetup s;
    C_UserTailoDB& db = s.open();
    EXPECT_TRUE(db.loaded());
    EXPECT_TRUE(db.error().ok());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Missing user DB file ", 3));
    touch(db);
    ASSERT_TRUE(db.save());
    EXPECT_EQ(s.fileBytes(), kEmptyFile);
    EXPECT_FALSE(db.dirty());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Changes of user DB saved to ", 3));

    s.open();  // the empty file loads
    EXPECT_TRUE(s.m_db->loaded());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Loaded user DB from ", 3));
}

TEST(UserDbFile, SaveWithoutChangeWritesNothing) {
    C_UserDbSetup s;
    C_UserTailoDB& db = s.open();
    s.m_sys.m_policy.clear();
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(s.m_sys.m_policy.contains("No change or no path to save user DB: ", 4));
    EXPECT_FALSE(fs::exists(s.file()));
}

TEST(UserDbFile, EmptyPathNeverSaves) {
    C_UserDbSetup s;
    C_UserTailoDB db("", *s.m_sys.m_db);
    EXPECT_TRUE(db.loaded());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Empty user DB path", 3));
    ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
    EXPECT_FALSE(db.save());
}

TEST(UserDbFile, LoadsEveryTableAndRoundTripsByteForByte) {
    const std::string bytes = sampleUserDb().bytes();
    C_UserDbSetup s(bytes);
    C_UserTailoDB& db = s.open();
    ASSERT_TRUE(db.loaded()) << db.error().text;
    const C_CandiPool& pool = db.lockTables().candiPool();

    ASSERT_EQ(pool.keys2words.size(), 2u);
    const C_TailoVoc& ka = pool.keys2words.at("ka1").at(0);
    EXPECT_EQ(ka.type, 'T');
    EXPECT_EQ(ka.word, "ka");
    EXPECT_EQ(ka.stamp, (C_UsageStamp{2, 1000}));
    EXPECT_EQ(ka.weight, 1.5f);
    EXPECT_EQ(ka.cats, (std::vector<uint8_t>{1}));
    ASSERT_EQ(pool.keys2words.at("kah4").size(), 2u);
    EXPECT_EQ(pool.keys2words.at("kah4")[1].cats, (std::vector<uint8_t>{2, 3}));
    ASSERT_EQ(pool.karr2vocs.size(), 2u);
    EXPECT_EQ(pool.karr2vocs.at(Keys{"tai5", "uan5"}).at(0).word, "台灣");
    EXPECT_EQ(pool.hant2tailo.at("台灣"), Keys{"Tâi-uân"});
    EXPECT_EQ(pool.hant2tailo.at("甲"), Keys{"kah"});
    EXPECT_EQ(db.lockTables().ruleTable().size(), 1u);

    touch(db);
    ASSERT_TRUE(db.save());
    EXPECT_EQ(s.fileBytes(), bytes);
    EXPECT_FALSE(fs::exists(s.file().string() + ".tmp"));
}

TEST(UserDbFile, CategoriesAreMappedByName) {
    C_UserDbFixture f;
    f.cats = {"city", "animal", "noun"};  // file 1 = system 3, file 2 unknown, file 3 = system 1
    f.words = {{"ka1", {{'T', 0, 0, 0, "ka", {1, 3}}}}};
    C_UserDbSetup s(f.bytes());
    C_UserTailoDB& db = s.open();
    ASSERT_TRUE(db.loaded()) << db.error().text;
    EXPECT_EQ(db.lockTables().candiPool().keys2words.at("ka1")[0].cats,
              (std::vector<uint8_t>{3, 1}));

    // Saved again, file indexes equal system indexes.
    touch(db);
    ASSERT_TRUE(db.save());
    s.open();
    EXPECT_EQ(s.m_db->lockTables().candiPool().keys2words.at("ka1")[0].cats,
              (std::vector<uint8_t>{3, 1}));
}

TEST(UserDbFile, ReadingsStayOnlyWithTheKeysOfAHanRecord) {
    C_UserDbFixture f;
    f.cats = sampleCatNames();
    f.vocs = {{"tai5-uan5", {{'H', 0, 0, 0, "台灣", {}}}}};
    f.words = {{"ka1", {}}};  // an empty voc list: the row is not kept
    f.hant = {{"台灣", {"Tâi-uân", "Tâi-tiong", "Tâi-uân", "x!"}}, {"乙", {"it"}}};
    C_UserDbSetup s(f.bytes());
    C_UserTailoDB& db = s.open();
    ASSERT_TRUE(db.loaded()) << db.error().text;
    EXPECT_EQ(db.lockTables().candiPool().hant2tailo.at("台灣"), Keys{"Tâi-uân"});
    EXPECT_EQ(db.lockTables().candiPool().hant2tailo.count("乙"), 0u);
    EXPECT_EQ(db.lockTables().candiPool().keys2words.count("ka1"), 0u);
}

struct C_BadFile {
    const char* name;
    std::string bytes;
    std::string error;
    size_t wordsKept = 0;  // keys2words entries read before the stop
    qiv::E_FileError kind = qiv::E_FileError::DAMAGED;
};

std::vector<C_BadFile> badFiles() {
    const C_UserDbFixture sample = sampleUserDb();
    const std::string good = sample.bytes();
    std::vector<C_BadFile> cases;
    cases.push_back({"short header", good.substr(0, 23), "Failed to read user DB header"});
    cases.push_back({"bad mark", patchedU8(good, 2, 0x10), "Invalid user DB format version or BOM",
                     0, qiv::E_FileError::FORMAT});
    {
        C_UserDbFixture f = sample;
        f.ncats = 256;
        cases.push_back({"too many cats", f.bytes(), "Too many cats: 256"});
    }
    {
        C_UserDbFixture f;
        f.cats = {"noun", "place", "city"};
        f.ncats = 4;
        cases.push_back({"missing name", f.bytes(), "Missing category name of 4"});
    }
    {
        C_UserDbFixture f = sample;
        f.words[1].recs[1].cats = {9};
        cases.push_back(
            {"unmapped category", f.bytes(),
             "Failed to read keys2words word 1/2: category 9 that the file does not name", 2});
    }
    {
        // A record type other than 'H', 'T' and the list's end is damage, not the end of the list.
        C_UserDbFixture f = sample;
        f.words[1].recs[0].type = 'X';
        cases.push_back({"unknown record type", f.bytes(),
                         "Failed to read keys2words word 1/2: unknown record type 'X'", 1});
    }
    {
        C_UserDbFixture f = sample;
        f.vocs[1].key = "tsit8";
        cases.push_back({"one-key array", f.bytes(),
                         "Failed to read karr2vocs voc 1/2: fewer than two keys in \"tsit8\"", 2});
    }
    {
        C_UserDbFixture f = sample;
        f.nHant = 3;
        f.rules.clear();
        f.nRules = 0;
        cases.push_back(
            {"missing hant row", f.bytes(), "Failed to read hant2tailo row 2/3: the file ends", 2});
    }
    {
        C_UserDbFixture f = sample;
        f.vocs.clear();
        f.hant.clear();
        f.rules.clear();
        f.nWords = 5;  // the file ends after two rows: the key read fails
        cases.push_back(
            {"rows end early", f.bytes(), "Failed to read keys2words word 2/5: the file ends", 2});
    }
    // Cut inside the second record of the second keys2words row.
    const size_t kah = good.find(std::string("kah\0", 4), sample.rowsAt());
    cases.push_back({"cut inside a record", good.substr(0, kah + 2),
                     "Failed to read keys2words word 1/2: record cut short", 2});
    {
        C_UserDbFixture f = sample;
        f.rules = {ruleRecord(1, 2, {gapElem()})};  // a rule of gaps only cannot be indexed
        cases.push_back({"rule of gaps only", f.bytes(),
                         "Failed to read rule 0/1: no word or category element", 2});
    }
    {
        C_UserDbFixture f = sample;
        f.rules = {ruleRecord(0, 0, {std::string(1, '\x03')})};
        cases.push_back({"unknown rule element kind", f.bytes(),
                         "Failed to read rule 0/1: unknown element kind 3", 2});
    }
    cases.push_back({"cut in the rules", good.substr(0, good.size() - 12),
                     "Failed to read rule 0/1: weight cut short", 2});
    return cases;
}

TEST(UserDbFile, DamagedFilesLoadWhatTheyCanWithTheirErrorText) {
    for (const C_BadFile& c : badFiles()) {
        SCOPED_TRACE(c.name);
        C_UserDbSetup s(c.bytes);
        C_UserTailoDB& db = s.open();
        EXPECT_FALSE(db.loaded());
        EXPECT_EQ(db.error(), qiv::C_FileError(c.kind, c.error));
        EXPECT_EQ(db.lockTables().candiPool().keys2words.size(), c.wordsKept);
        EXPECT_FALSE(s.m_sys.m_policy.contains("Loaded user DB from "));
    }
}

TEST(UserDbFile, CategoriesUnknownToTheTableAreDroppedAndTheRestLoads) {
    // A renamed category in a new category table: the records keep their words and their other
    // categories, a rule that names the category is left out, and the rest of the file loads.
    C_UserDbFixture f = sampleUserDb();
    f.cats.push_back("animal");  // file index 4, a name the system table lacks
    f.words[0].recs[0].cats = {4, 1};
    f.vocs[0].recs[0].cats = {4};
    f.rules.push_back(ruleRecord(0, 0, {catElem(4, 1, 1, 2.0f)}));
    C_UserDbSetup s(f.bytes());
    C_UserTailoDB& db = s.open();
    ASSERT_TRUE(db.loaded()) << db.error().text;
    const C_TailoVoc& first = db.lockTables().candiPool().keys2words.begin()->second.front();
    EXPECT_EQ(first.cats, (std::vector<uint8_t>{1}));
    EXPECT_TRUE(db.lockTables().candiPool().karr2vocs.begin()->second.front().cats.empty());
    EXPECT_EQ(db.lockTables().candiPool().keys2words.size(), 2u);
    EXPECT_EQ(db.lockTables().candiPool().karr2vocs.size(), 2u);
    EXPECT_EQ(db.lockTables().candiPool().hant2tailo.size(), 2u);
    EXPECT_EQ(db.lockTables().ruleTable().size(), 1u);  // the sample's word rule
    EXPECT_EQ(s.m_sys.m_policy.count("Categories unknown to the category table dropped"), 1u);
    EXPECT_TRUE(s.m_sys.m_policy.contains("\"animal\" (2 records); rules left out: 1", 2));

    // Saved without the category, the file loads again with everything else.
    touch(db);
    ASSERT_TRUE(db.save());
    C_UserTailoDB& again = s.open();
    ASSERT_TRUE(again.loaded()) << again.error().text;
    EXPECT_EQ(again.lockTables().candiPool().vocCount(), 5u);
    EXPECT_EQ(again.lockTables().ruleTable().size(), 1u);
}

TEST(UserDbFile, DamagedFileIsKeptAsBadCopyBeforeTheFirstSave) {
    const std::string good = sampleUserDb().bytes();
    const std::string damaged = good.substr(0, sampleUserDb().rowsAt() + 40);
    C_UserDbSetup s(damaged);
    C_UserTailoDB& db = s.open();
    ASSERT_FALSE(db.loaded());
    const fs::path bad = s.file().string() + ".bad";
    const fs::path bad2 = s.file().string() + ".bad2";
    s.m_sys.m_folder.write("user-db.tab.bad", "an older copy");

    ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
    ASSERT_TRUE(db.save());
    // An earlier copy is never replaced: this one takes the next slot, and nothing is lost.
    EXPECT_EQ(s.readFile(bad), "an older copy");
    EXPECT_EQ(s.readFile(bad2), damaged);
    EXPECT_TRUE(s.m_sys.m_policy.contains("Kept a copy of damaged user DB file ", 3));

    // The copy is made once: the next save leaves it alone.
    ASSERT_TRUE(db.addKeysToWord("bo1", 'T', "bo", 0, {}, 0));
    ASSERT_TRUE(db.save());
    EXPECT_EQ(s.readFile(bad2), damaged);

    s.open();  // what was read before the damage, plus the new words
    ASSERT_TRUE(s.m_db->loaded()) << s.m_db->error().text;
    EXPECT_EQ(s.m_db->lockTables().candiPool().keys2words.count("ka1"), 1u);
    EXPECT_EQ(s.m_db->lockTables().candiPool().keys2words.count("bo1"), 1u);
}

TEST(UserDbFile, TheSameDamagedFileIsKeptOnceAndTheFirstCopyIsNeverReplaced) {
    C_UserDbSetup s;
    const std::string good = sampleUserDb().bytes();
    auto failedLoadThenSave = [&](const std::string& damaged) {
        s.m_sys.m_folder.write("user-db.tab", damaged);
        C_UserTailoDB& db = s.open();
        EXPECT_FALSE(db.loaded());
        touch(db);
        const bool saved = db.save();
        s.close();
        return saved;
    };
    auto slotPath = [&](unsigned slot) {
        return fs::path(s.file().string() + ".bad" + (slot > 1 ? std::to_string(slot) : ""));
    };
    // The same damaged file met again (put back here by hand): its copy is found, not made
    // again.
    const std::string first = good.substr(0, 30);
    ASSERT_TRUE(failedLoadThenSave(first));
    ASSERT_TRUE(failedLoadThenSave(first));
    EXPECT_EQ(s.readFile(slotPath(1)), first);
    EXPECT_FALSE(fs::exists(slotPath(2)));
    // Each other damaged file takes the next slot.
    for (unsigned slot = 2; slot <= 9; ++slot)
        ASSERT_TRUE(failedLoadThenSave(good.substr(0, 30 + slot))) << slot;
    EXPECT_EQ(s.readFile(slotPath(9)), good.substr(0, 39));

    // With every slot taken the save still goes on: the new copy replaces the oldest of
    // ".bad2" to ".bad9" by modification time (here ".bad5", then ".bad2"), never ".bad".
    const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (unsigned slot = 2; slot <= 9; ++slot)
        fs::last_write_time(slotPath(slot), hourAgo + std::chrono::minutes(slot));
    fs::last_write_time(slotPath(1), hourAgo - std::chrono::hours(1));
    fs::last_write_time(slotPath(5), hourAgo);
    struct Step {
        std::string damaged;
        unsigned replaced;
    };
    const Step steps[] = {{good.substr(0, 50), 5}, {good.substr(0, 51), 2}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.replaced);
        ASSERT_TRUE(failedLoadThenSave(step.damaged));
        EXPECT_NE(s.fileBytes(), step.damaged);  // saved over, its copy kept
        EXPECT_EQ(s.readFile(slotPath(step.replaced)), step.damaged);
    }
    EXPECT_TRUE(s.m_sys.m_policy.contains("in place of its oldest copy", 3));
    EXPECT_EQ(s.readFile(slotPath(1)), first);
    for (unsigned slot = 3; slot <= 9; ++slot)
        EXPECT_EQ(s.readFile(slotPath(slot)),
                  slot == 5 ? good.substr(0, 50) : good.substr(0, 30 + slot))
            << slot;
    // A damaged file already held in a late slot is still found, with every slot taken.
    ASSERT_TRUE(failedLoadThenSave(good.substr(0, 37)));
    EXPECT_EQ(s.readFile(slotPath(2)), good.substr(0, 51));
    EXPECT_EQ(s.readFile(slotPath(7)), good.substr(0, 37));
}

TEST(UserDbFile, AFileThatCannotBeReadIsAnErrorAndIsNeverSavedOver) {
    struct Case {
        const char* name;
        std::function<bool(const fs::path&)> make;  // false: cannot be made here
        const char* error;
    };
    const Case cases[] = {
        {"a folder in its place", [](const fs::path& p) { return fs::create_directory(p); },
         "is not a file"},
        // A link to itself: the file cannot even be tested.
        {"a link loop",
         [](const fs::path& p) {
             std::error_code ec;
             fs::create_symlink(p.filename(), p, ec);
             return !ec;
         },
         "Failed to test user DB file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C_UserDbSetup s;
        if (!c.make(s.file()))
            continue;
        C_UserTailoDB& db = s.open();
        EXPECT_FALSE(db.loaded());
        EXPECT_EQ(db.error().kind, qiv::E_FileError::UNREADABLE);
        EXPECT_NE(db.error().text.find(c.error), std::string::npos) << db.error().text;
        ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
        EXPECT_FALSE(db.save());
        EXPECT_TRUE(db.dirty());
        EXPECT_TRUE(s.m_sys.m_policy.contains("Not saving user DB file ", 1));
        s.close();  // the destructor's save is refused too
        std::error_code ec;
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(s.file(), ec)));
        EXPECT_FALSE(fs::exists(s.file().string() + ".bad", ec));
    }
}

// Every cut of a valid file loads what lies before the cut, and the first save keeps the cut
// file whole as "<name>.bad" while the new file holds what was read plus the change.
TEST(UserDbFile, EveryTruncationIsLoadedSafelyAndKept) {
    const std::string good = sampleUserDb().bytes();
    C_UserDbSetup s;
    const fs::path bad = s.file().string() + ".bad";
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string cut = good.substr(0, n);
        s.m_sys.m_folder.write("user-db.tab", cut);
        std::error_code ec;
        fs::remove(bad, ec);
        C_UserTailoDB& db = s.open();
        // Only the last rule's end mark may be missing: the end of the file ends the rule too.
        ASSERT_EQ(db.loaded(), n == good.size() - 1);
        if (n % 8 != 0 && n + 2 < good.size())
            continue;  // saving (with its flushes to disk) for every cut adds nothing but time
        ASSERT_TRUE(db.addKeysToWord("bue7", 'T', "buē", 0, {}, 0));
        ASSERT_TRUE(db.save());
        EXPECT_EQ(s.readFile(bad), db.loaded() ? "" : cut);
        C_UserTailoDB& again = s.open();
        ASSERT_TRUE(again.loaded()) << again.error().text;
        EXPECT_EQ(again.lockTables().candiPool().keys2words.count("bue7"), 1u);
        s.close();
    }
}

// Any byte of a valid file changed: the load never reads outside the file and never throws.
TEST(UserDbFile, EveryChangedByteIsLoadedSafely) {
    const std::string good = sampleUserDb().bytes();
    C_UserDbSetup s;
    for (size_t i = 0; i < good.size(); ++i) {
        for (const uint8_t v : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
            SCOPED_TRACE(std::to_string(i) + "=" + std::to_string(v));
            s.m_sys.m_folder.write("user-db.tab", patchedU8(good, i, v));
            C_UserTailoDB db(s.file(), *s.m_sys.m_db);
            EXPECT_EQ(db.loaded(), db.error().text.empty());
        }
    }
}

TEST(UserDbFile, SaveIntoAFolderThatCannotBeMadeFailsAndStaysDirty) {
    C_UserDbSetup s;
    // The parent of the file is a regular file: no folder can be made there, even by root.
    const fs::path blocker = s.m_sys.m_folder.write("blocker", "x");
    C_UserTailoDB db(blocker / "user-db.tab", *s.m_sys.m_db);
    ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(db.dirty());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Failed to create the folder of user DB file ", 1));
    EXPECT_EQ(s.readFile(blocker), "x");
}

TEST(UserDbFile, SaveThatCannotOpenItsSideFileLeavesTheOldFileWhole) {
    const std::string bytes = sampleUserDb().bytes();
    C_UserDbSetup s(bytes);
    C_UserTailoDB& db = s.open();
    // A folder where the side file would go: opening it for writing fails, even for root.
    fs::create_directory(s.file().string() + ".tmp");
    ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
    EXPECT_FALSE(db.save());
    EXPECT_TRUE(db.dirty());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Failed to open user DB file ", 1));
    EXPECT_EQ(s.fileBytes(), bytes);

    fs::remove(s.file().string() + ".tmp");
    EXPECT_TRUE(db.save());  // a later save tries again
    EXPECT_NE(s.fileBytes(), bytes);
}

// A user dictionary whose file writes fail after a number of bytes, like a full disk.
class C_FailingUserDB : public C_UserTailoDB {
public:
    using C_UserTailoDB::C_UserTailoDB;
    std::optional<size_t> m_failAt;

protected:
    bool writeSaveBytes_(platform::C_OutFile& out, std::string_view bytes) override {
        if (!m_failAt || *m_failAt >= bytes.size())
            return C_UserTailoDB::writeSaveBytes_(out, bytes);
        out.write(bytes.substr(0, *m_failAt));
        return false;
    }
};

TEST(UserDbFile, SaveInterruptedAtAnyByteLeavesTheOldFileLoadable) {
    const std::string old = sampleUserDb().bytes();
    for (const size_t n : {size_t{0}, size_t{1}, user_db_layout::kHeaderSize - 1,
                           user_db_layout::kHeaderSize, size_t{60}, old.size()}) {
        SCOPED_TRACE(n);
        C_UserDbSetup s(old);
        C_FailingUserDB db(s.file(), *s.m_sys.m_db);
        ASSERT_TRUE(db.loaded());
        ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, {}, 0));
        db.m_failAt = n;
        EXPECT_FALSE(db.save());
        EXPECT_TRUE(db.dirty());
        EXPECT_TRUE(s.m_sys.m_policy.contains("Failed to write user DB file ", 1));
        EXPECT_EQ(s.fileBytes(), old);
        EXPECT_FALSE(fs::exists(s.file().string() + ".tmp"));
        C_UserTailoDB reread(s.file(), *s.m_sys.m_db);
        EXPECT_TRUE(reread.loaded());

        db.m_failAt.reset();
        ASSERT_TRUE(db.save());
        C_UserTailoDB fresh(s.file(), *s.m_sys.m_db);
        EXPECT_TRUE(fresh.loaded());
        EXPECT_EQ(fresh.lockTables().candiPool().keys2words.count("ba1"), 1u);
    }
}

TEST(UserDbFile, DestructorSavesChanges) {
    C_UserDbSetup s;
    s.open().addKeysToWord("ba1", 'T', "ba", 0, {}, 0);
    s.close();
    C_UserTailoDB& db = s.open();
    EXPECT_EQ(db.lockTables().candiPool().keys2words.count("ba1"), 1u);
}

TEST(UserDbFile, SaveLeavesOutWhatTheFileCannotHold) {
    C_UserDbSetup s;
    C_TestUserDB& db = s.open();
    {
        const auto lock = db.lockTables();
        C_CandiPool& pool = db.pool();
        C_TailoVoc bad;
        bad.type = 'X';
        bad.word = "x";
        C_TailoVoc nul;
        nul.type = 'T';
        nul.word = std::string("a\0b", 3);
        C_TailoVoc good;
        good.type = 'T';
        good.word = "ba";
        good.cats = {1, 9};  // 9 is no category of the system table
        pool.keys2words["ba1"] = {bad, nul, good};
        pool.karr2vocs[Keys{"ba1"}] = {good};  // one key cannot be told from a key array
        pool.hant2tailo["爸"] = {"", "pa"};
    }
    touch(db);
    ASSERT_TRUE(db.save());
    EXPECT_TRUE(s.m_sys.m_policy.contains("Left out of user DB ", 2));

    C_UserTailoDB& again = s.open();
    ASSERT_TRUE(again.loaded()) << again.error().text;
    ASSERT_EQ(again.lockTables().candiPool().keys2words.at("ba1").size(), 1u);
    EXPECT_EQ(again.lockTables().candiPool().keys2words.at("ba1")[0].cats,
              (std::vector<uint8_t>{1}));
    EXPECT_TRUE(again.lockTables().candiPool().karr2vocs.empty());
}

// A record without a word, or a row under an empty key, can be neither typed nor saved: the
// load leaves it out, so that what the dictionary lists is what its next save keeps.
TEST(UserDbFile, RecordsWithoutWordOrKeyAreLeftOutOnLoad) {
    C_UserDbFixture fx;
    fx.cats = sampleCatNames();
    fx.words = {{"", {{'T', 1, 1000, 0, "ka", {}}}},
                {"kha1", {{'T', 1, 1000, 0, "", {}}, {'T', 2, 1000, 0, "kha", {}}}},
                {"khi1", {{'T', 1, 1000, 0, "", {}}}}};
    fx.vocs = {{"ka1--ka1", {{'T', 1, 1000, 0, "", {}}}}};
    C_UserDbSetup s(fx.bytes());
    C_UserTailoDB& db = s.open();
    ASSERT_TRUE(db.loaded()) << db.error().text;
    const auto listed = [](const C_UserTailoDB& d) {
        std::vector<std::string> out;
        d.visitUserVocs(
            "", {}, 0, d.countUserVocs(""),
            [&out](const C_Bikey& key, const C_TailoVoc& voc, const std::vector<std::string>&) {
                out.push_back(bikeyText(key) + " " + voc.word);
            });
        return out;
    };
    EXPECT_EQ(listed(db), std::vector<std::string>{"kha1 kha"});

    touch(db);
    ASSERT_TRUE(db.save());
    EXPECT_EQ(listed(s.open()), std::vector<std::string>{"kha1 kha"});
}

TEST(UserDbFile, CategoryAfterAGapInTheSystemTableIsLeftOut) {
    C_CatsFixture cats = sampleCats();
    cats.cats[1].name = "";  // names are written only up to the first empty one
    C_SystemDictFixture sys(C_TailoFixture{}.bytes(), cats.bytes());
    const fs::path file = sys.m_folder.path() / "user-db.tab";
    {
        C_UserTailoDB db(file, *sys.m_db);
        const std::vector<uint8_t> c{1, 3};
        ASSERT_TRUE(db.addKeysToWord("ba1", 'T', "ba", 0, c, 0));
        ASSERT_TRUE(db.save());
    }
    C_UserTailoDB db(file, *sys.m_db);
    ASSERT_TRUE(db.loaded()) << db.error().text;
    EXPECT_EQ(db.lockTables().candiPool().keys2words.at("ba1")[0].cats, (std::vector<uint8_t>{1}));
}

}  // namespace
}  // namespace kov::test
