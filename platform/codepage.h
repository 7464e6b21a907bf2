// Code-page decoding: turning the bytes of a text in one code page into code points, strictly.
// Code page numbers are the Windows ones: 0 the system's default code page, 65001 UTF-8,
// 932/936/949/950 the East Asian double-byte pages, 65000 UTF-7.
//
// On Windows this is MultiByteToWideChar rejecting invalid characters. Elsewhere the default
// code page is Windows-1252 (a fixed table that accepts every byte), UTF-8 is decoded by our own
// strict decoder, the double-byte pages go through iconv, and UTF-7 always fails.
//
// Not responsible for: guessing which code page a text is in.
#pragma once

#include <string>
#include <string_view>

namespace kov::platform {

// Decodes all of bytes in codePage and appends the code points to out. Returns false, leaving
// out as it was, when the bytes are not valid in that code page (a truncated or ill-formed
// character included) or the code page is not supported. Empty input succeeds.
bool decodeCodePage(unsigned codePage, std::string_view bytes, std::u32string& out);

}  // namespace kov::platform
