#pragma once
// The on-disk layouts of the dictionary files, named once for their readers, their writers and
// the test fixtures: the marks, versions, header fields and record kinds of the category table
// "cats.tab", the system dictionary "tailo.tab", the user and learning dictionaries
// ("user-db.tab", "learn-db.tab") and the rule records those two hold. Every number in a file
// is little-endian.
//
// Not responsible for: reading or writing (C_TailoCats, C_CatsWriter, C_TailoDB, C_TailoWriter,
// C_UserTailoMixin, rule_io.h do), or checking offsets (every reader goes through
// qiv::C_ByteCursor).

#include <cstddef>
#include <cstdint>

namespace kov {

// "cats.tab": the header (mark u16, version u16, hash u32, count u8: N entries, entry 0 "no
// category" included), then N parent bytes, N name offsets (u16, from the pool start; entry 0
// has none) and the pool of NUL-terminated names.
namespace cats_layout {
inline constexpr uint16_t kMark = 0xFEFF;
inline constexpr uint16_t kVersion = 0x0100;
inline constexpr size_t kMarkAt = 0;
inline constexpr size_t kVersionAt = 2;
inline constexpr size_t kHashAt = 4;
inline constexpr size_t kCountAt = 8;
inline constexpr size_t kHeaderSize = 9;
// Offsets of the tables of a file of count entries.
inline constexpr size_t parentsAt(size_t /*count*/) { return kHeaderSize; }
inline constexpr size_t nameOffsetsAt(size_t count) { return kHeaderSize + count; }
inline constexpr size_t poolAt(size_t count) { return kHeaderSize + 3 * count; }
}  // namespace cats_layout

// "tailo.tab": the header (mark u16, version u16, two reserved u32 written 0, the entry counts
// of the four sections u32 each, the hash of its category table u32), then one u32 offset per
// entry (from the pool start) for the sections in order A B C D, then the pool. An entry of A,
// B or C is its key (NUL-terminated) and its vocabulary list: records (type, weight i8,
// category bytes up to a NUL, word NUL) up to the type byte 0. An entry of D is a Han word and
// its readings, each NUL-terminated, up to an empty one.
namespace tailo_layout {
inline constexpr uint16_t kMark = 0xFEFF;
inline constexpr uint16_t kVersion = 0x0110;
inline constexpr size_t kMarkAt = 0;
inline constexpr size_t kVersionAt = 2;
inline constexpr size_t kSectionCountsAt = 0x0C;  // A, B, C, D
inline constexpr size_t kCatsHashAt = 0x1C;
inline constexpr size_t kHeaderSize = 0x20;
inline constexpr size_t kSectionCount = 4;  // toned keys, exact keys, key arrays, Han words
inline constexpr size_t kOffsetsAt = kHeaderSize;
// The pool start of a file of entries entries in all.
inline constexpr size_t poolAt(size_t entries) { return kOffsetsAt + 4 * entries; }
// Record types of the vocabulary lists.
inline constexpr char kWordRecord = 'T';  // a Tai-lo word
inline constexpr char kHanRecord = 'H';   // a Han word, its readings in section D
inline constexpr uint8_t kListEnd = 0;
}  // namespace tailo_layout

// "user-db.tab" and "learn-db.tab": the header (mark u32: bytes FF FE 00 01, the byte-order
// mark and the version; then the counts of category names, keys2words rows, karr2vocs rows,
// hant2tailo rows and rules, u32 each), then in this order the category names (each NUL-
// terminated), the keys2words rows, the karr2vocs rows (key, vocabulary list), the hant2tailo
// rows (Han word, readings up to an empty one) and the rule records (rule_layout). A
// vocabulary record is type u8, count u32, time u32, weight f32, word NUL, file category
// numbers up to a 0; a list ends at the type byte 0.
namespace user_db_layout {
inline constexpr uint32_t kMark = 0x0100FEFFu;
inline constexpr size_t kMarkAt = 0;
inline constexpr size_t kCountsAt = 4;  // names, words, vocs, hant, rules
inline constexpr size_t kHeaderSize = 24;
}  // namespace user_db_layout

// A rule record of the user and learning dictionaries: the usage stamp (count u32, time u32),
// one element record per element and the end mark. An element record is a flags byte (the
// kind in the low 7 bits, kWeightFlag when a weight follows), the kind's payload (word: u16
// count, text NUL, keys each NUL, NUL; category: u8 cat, u8 pad 0, u16 min, u16 max) and the
// f32 weight when flagged.
namespace rule_layout {
inline constexpr uint8_t kEndMark = 0xFF;
inline constexpr uint8_t kWeightFlag = 0x80;
inline constexpr uint8_t kKindMask = 0x7F;
}  // namespace rule_layout

}  // namespace kov
