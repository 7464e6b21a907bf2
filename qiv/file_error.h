#pragma once
// What stopped the load or the save of a file: a kind that callers act on and a readable text
// for the log. Every loader and writer of the engine reports its failures this way; exceptions
// are kept for programming errors.
//
// Not responsible for: logging, or deciding what a failure means for the program.

#include <cstdint>
#include <string>
#include <utility>

namespace qiv {

enum class E_FileError : uint8_t {
    NONE,        // loaded or written
    UNREADABLE,  // the file exists, or may, but could not be tested, opened, read or mapped
    FORMAT,      // a file of another kind or version: its mark, version or the hash it names
    DAMAGED,     // the bytes do not fit the format: cut short, counts or offsets out of range,
                 // records of unknown type or kind
    WRITE,       // a save could not create, write, flush or replace a file
    REFUSED,     // a writer was given what the format cannot hold (a NUL inside a text, too
                 // many entries, offsets beyond their width); nothing was added or written
};

struct C_FileError {
    E_FileError kind = E_FileError::NONE;
    std::string text;  // empty for NONE

    C_FileError() = default;
    C_FileError(E_FileError k, std::string t) : kind(k), text(std::move(t)) {}

    bool ok() const { return kind == E_FileError::NONE; }
    bool operator==(const C_FileError&) const = default;
};

// The name of a kind, for messages and test output: "none", "unreadable", "format", "damaged",
// "write", "refused".
const char* fileErrorName(E_FileError kind);

}  // namespace qiv
