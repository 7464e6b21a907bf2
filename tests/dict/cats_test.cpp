#include "engine/dict/cats_writer.h"
#include "engine/dict/tailo_cats.h"

#include "fixtures/cats_fixture.h"
#include "fixtures/temp_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kov {
namespace {

using test::C_CatsFixture;

// 1 "noun" top level, 2 "place" under 1, 3 "city" under 2.
const std::string kSampleBytes{
    "\xFF\xFE\x00\x01\x78\x56\x34\x12\x04"
    "\x00\x00\x01\x02"
    "\x00\x00\x00\x00\x05\x00\x0B\x00"
    "noun\0place\0city\0",
    37};

class CatsTest : public ::testing::Test {
protected:
    std::unique_ptr<C_TailoCats> open(const std::string& bytes) {
        // A new file name each time: the earlier table may still map its file.
        const auto path = m_dir.write("cats" + std::to_string(m_serial++) + ".tab", bytes);
        return std::make_unique<C_TailoCats>(path);
    }

    test::C_TempFolder m_dir;
    int m_serial = 0;
};

TEST_F(CatsTest, FixtureAndWriterProduceTheSampleBytes) {
    EXPECT_EQ(test::sampleCats().bytes(), kSampleBytes);
    C_CatsWriter w;
    EXPECT_TRUE(w.add("noun").ok());
    EXPECT_TRUE(w.add("place", 1).ok());
    EXPECT_TRUE(w.add("city", 2).ok());
    w.setHash(0x12345678);
    EXPECT_EQ(w.bytes(), kSampleBytes);
    EXPECT_EQ(w.find("city"), 3);
    EXPECT_EQ(w.find("town"), std::nullopt);
}

TEST_F(CatsTest, WriterRefusesWhatTheFilesCannotHold) {
    C_CatsWriter w;
    ASSERT_TRUE(w.add("noun").ok());
    EXPECT_EQ(w.add(""), qiv::C_FileError(qiv::E_FileError::REFUSED, "Empty category name"));
    EXPECT_EQ(w.add(std::string("a\0b", 3)),
              qiv::C_FileError(qiv::E_FileError::REFUSED, "Category name holds a NUL"));
    EXPECT_EQ(w.add("self", 2),
              qiv::C_FileError(qiv::E_FileError::REFUSED,
                               "Parent 2 of \"self\" is not an earlier category"));
    EXPECT_EQ(w.catCount(), 1u);
    for (int i = 2; i <= 254; ++i)
        ASSERT_TRUE(w.add(std::string("c").append(std::to_string(i))).ok());
    EXPECT_EQ(w.add("one too many"),
              qiv::C_FileError(qiv::E_FileError::REFUSED, "Too many categories (at most 254)"));
    const std::string bytes = w.bytes();
    EXPECT_EQ(static_cast<uint8_t>(bytes[8]), 255);
}

TEST_F(CatsTest, WriterHashFollowsTheContent) {
    C_CatsWriter a, b;
    a.add("noun");
    b.add("noun");
    EXPECT_EQ(a.hash(), b.hash());
    b.add("place", 1);
    EXPECT_NE(a.hash(), b.hash());
}

TEST_F(CatsTest, WrittenFileReadsBack) {
    C_CatsWriter w;
    w.add("noun");
    w.add("place", 1);
    const auto path = m_dir.path() / "cats.tab";
    ASSERT_TRUE(w.writeFile(path).ok());
    C_TailoCats cats(path);
    EXPECT_EQ(cats.hash(), w.hash());
    EXPECT_EQ(cats.catName(2), "place");
    EXPECT_EQ(cats.parentCat(2), 1);
}

TEST_F(CatsTest, AnswersNamesAndParents) {
    const auto cats = open(kSampleBytes);
    ASSERT_NE(cats->header(), nullptr);
    EXPECT_EQ(cats->hash(), 0x12345678u);
    EXPECT_EQ(cats->count(), 4u);
    struct {
        uint8_t cat;
        std::string_view name;
        uint8_t parent;
    } const cases[] = {
        {0, "", 0}, {1, "noun", 0}, {2, "place", 1}, {3, "city", 2}, {4, "", 0}, {255, "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cats->catName(c.cat), c.name) << int(c.cat);
        EXPECT_EQ(cats->parentCat(c.cat), c.parent) << int(c.cat);
    }
}

TEST_F(CatsTest, AncestryFollowsParents) {
    const auto cats = open(kSampleBytes);
    for (int c = 0; c <= 5; ++c)
        EXPECT_TRUE(cats->isCatUnder(uint8_t(c), uint8_t(c))) << c;
    EXPECT_TRUE(cats->isCatUnder(3, 1));
    EXPECT_TRUE(cats->isCatUnder(3, 2));
    EXPECT_TRUE(cats->isCatUnder(2, 1));
    EXPECT_FALSE(cats->isCatUnder(1, 3));
    EXPECT_FALSE(cats->isCatUnder(3, 0));  // 0 ends the walk, it is never an ancestor
    EXPECT_FALSE(cats->isCatUnder(4, 1));  // not in the table
}

TEST_F(CatsTest, ParentCycleEndsTheWalk) {
    C_CatsFixture f;
    f.cats = {{"a", 2}, {"b", 1}, {"outside", 0}};
    const auto cats = open(f.bytes());
    ASSERT_NE(cats->header(), nullptr);
    EXPECT_TRUE(cats->isCatUnder(1, 2));
    EXPECT_FALSE(cats->isCatUnder(1, 3));
}

TEST_F(CatsTest, MissingFileGivesAnEmptyTable) {
    C_TailoCats cats(m_dir.path() / "absent.tab");
    EXPECT_EQ(cats.header(), nullptr);
    EXPECT_EQ(cats.hash(), std::nullopt);
    EXPECT_EQ(cats.count(), 0u);
    EXPECT_EQ(cats.error().kind, qiv::E_FileError::UNREADABLE);
    EXPECT_EQ(cats.error(), cats.file().error());
    EXPECT_EQ(cats.catName(1), "");
    EXPECT_EQ(cats.parentCat(1), 0);
}

// Every cut of the sample loses at least the NUL of the last name.
TEST_F(CatsTest, EveryTruncationGivesAnInvalidTable) {
    for (size_t n = 0; n < kSampleBytes.size(); ++n) {
        const auto cats = open(test::truncated(kSampleBytes, n));
        EXPECT_EQ(cats->header(), nullptr) << n;
        EXPECT_EQ(cats->count(), 0u) << n;
        EXPECT_EQ(cats->catName(1), "") << n;
        EXPECT_EQ(cats->parentCat(2), 0) << n;
        // An empty file cannot be mapped; any other cut is damage.
        EXPECT_EQ(cats->error().kind,
                  n == 0 ? qiv::E_FileError::UNREADABLE : qiv::E_FileError::DAMAGED)
            << n;
    }
}

TEST_F(CatsTest, DamagedTablesAreInvalidOrStayInsideTheFile) {
    const C_CatsFixture sample = test::sampleCats();
    const size_t offsets = sample.offsetsAt();
    struct {
        const char* what;
        std::string bytes;
        bool valid;
        std::string_view name3;  // catName(3) when valid
        uint8_t parent3;
    } const cases[] = {
        {"dictionary version", test::patchedU16(kSampleBytes, 2, 0x0110), false, "", 0},  // FORMAT
        {"reversed mark", test::patchedU16(kSampleBytes, 0, 0xFFFE), false, "", 0},
        {"count past the file", test::patchedU8(kSampleBytes, 8, 200), false, "", 0},
        {"count 255", test::patchedU8(kSampleBytes, 8, 255), false, "", 0},
        {"name offset past the file", test::patchedU16(kSampleBytes, offsets + 6, 0xFFFF), false,
         "", 0},
        {"name offset at the pool end", test::patchedU16(kSampleBytes, offsets + 6, 16), false, "",
         0},
        {"last name without NUL", test::patchedU8(kSampleBytes, 36, 'x'), false, "", 0},
        {"name offset at the last NUL", test::patchedU16(kSampleBytes, offsets + 6, 15), true, "",
         2},
        {"entry 0 offset is never read", test::patchedU16(kSampleBytes, offsets, 0xFFFF), true,
         "city", 2},
        {"parent outside the table", test::patchedU8(kSampleBytes, 9 + 3, 200), true, "city", 200},
        {"count smaller: the tables shift", test::patchedU8(kSampleBytes, 8, 3), false, "", 0},
        {"count 0", test::patchedU8(kSampleBytes, 8, 0), true, "", 0},
    };
    for (const auto& c : cases) {
        const auto cats = open(c.bytes);
        EXPECT_EQ(cats->header() != nullptr, c.valid) << c.what;
        EXPECT_EQ(cats->catName(3), c.name3) << c.what;
        EXPECT_EQ(cats->parentCat(3), c.parent3) << c.what;
        EXPECT_FALSE(cats->isCatUnder(3, 4)) << c.what;
        EXPECT_EQ(cats->error().ok(), c.valid) << c.what << ": " << cats->error().text;
        if (!c.valid) {
            EXPECT_EQ(cats->count(), 0u) << c.what;
        }
    }
}

}  // namespace
}  // namespace kov
