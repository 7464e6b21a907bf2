#include "platform/text_classify.h"

#include <climits>

#include <windows.h>

namespace kov::platform {

unsigned textUnicodeTests(std::string_view bytes, unsigned tests) {
    if (bytes.size() < 2)
        return 0;  // too short for any test; the system may leave the flags untouched
    const int size =
        bytes.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes.size());
    INT flags = static_cast<INT>(tests);
    // The flags that remain set tell which tests held; the BOOL verdict weighs them
    // differently and is not used.
    IsTextUnicode(bytes.data(), size, &flags);
    return static_cast<unsigned>(flags) & tests;
}

}  // namespace kov::platform
