#include "qiv/exception_text.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct S_OwnError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace

TEST(ExceptionText, NamesTheDynamicTypeAndTheMessage) {
    EXPECT_EQ(qiv::exceptionText(std::runtime_error("abc")), "std::runtime_error: abc");
    EXPECT_EQ(qiv::exceptionText(std::logic_error("Null cu at 3")),
              "std::logic_error: Null cu at 3");
    EXPECT_EQ(qiv::exceptionText(std::out_of_range("")), "std::out_of_range: ");

    const S_OwnError own("x");
    const std::exception& base = own;
    EXPECT_EQ(qiv::exceptionText(base), qiv::demangledTypeName(typeid(S_OwnError)) + ": x");
    EXPECT_NE(qiv::exceptionText(base).find("S_OwnError"), std::string::npos);
}

TEST(ReadableTypeName, ShortensTheStringType) {
    struct S_Case {
        std::string demangled;
        std::string expected;
    } cases[] = {
        {qiv::demangledTypeName(typeid(std::string)), "std::string"},
        {qiv::demangledTypeName(typeid(std::map<std::string, int>)),
         "std::map<std::string, int, std::less<std::string>, "
         "std::allocator<std::pair<std::string const, int> > >"},
        {qiv::demangledTypeName(typeid(std::vector<std::string>)),
         "std::vector<std::string, std::allocator<std::string> >"},
        {"int", "int"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qiv::readableTypeName(c.demangled.c_str()), c.expected) << c.demangled;
    EXPECT_EQ(qiv::readableTypeName(nullptr), "");
}
