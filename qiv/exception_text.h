#pragma once
// Readable one-line texts of exceptions, for error replies and log lines.

#include <exception>
#include <string>
#include <typeinfo>

namespace qiv {

// The compiler's readable (demangled) name of a type, e.g. "std::runtime_error".
std::string demangledTypeName(const std::type_info& type);

// A readable type name with the long spelling of the string type shortened to "std::string";
// the blanks the compiler sets after it before a closing ">" or a comma are dropped, so
// "std::map<std::string, int, ...>" reads naturally.
std::string readableTypeName(const char* name);

// The exception's readable dynamic type name, ": " and its message.
std::string exceptionText(const std::exception& e);

}  // namespace qiv
