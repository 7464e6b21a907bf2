#include "qiv/exception_text.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define QIV_HAVE_CXXABI 1
#endif

namespace qiv {
namespace {

using ReplacementTable = std::vector<std::pair<std::string, std::string>>;

const ReplacementTable& replacements() {
    static const ReplacementTable s_table = {
        {demangledTypeName(typeid(std::string)), "std::string"},
    };
    return s_table;
}

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string demangledTypeName(const std::type_info& type) {
#ifdef QIV_HAVE_CXXABI
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    if (status == 0 && name)
        return name.get();
#endif
    return type.name();
}

std::string readableTypeName(const char* name) {
    std::string text = name ? name : "";
    for (const auto& [from, to] : replacements()) {
        if (from.empty())
            continue;
        std::string out;
        std::size_t pos = 0;
        for (;;) {
            const std::size_t hit = text.find(from, pos);
            if (hit == std::string::npos)
                break;
            out.append(text, pos, hit - pos);
            out += to;
            pos = hit + from.size();
            // Drop the blanks of the compiler's "> >" and "> ," style, but keep a blank that
            // separates a following word ("std::string const").
            std::size_t after = pos;
            while (after < text.size() && text[after] == ' ')
                ++after;
            if (after == text.size() || !isNameChar(text[after]))
                pos = after;
        }
        out.append(text, pos, std::string::npos);
        text = std::move(out);
    }
    return text;
}

std::string exceptionText(const std::exception& e) {
    std::string text = readableTypeName(demangledTypeName(typeid(e)).c_str());
    text += ": ";
    text += e.what();
    return text;
}

}  // namespace qiv
