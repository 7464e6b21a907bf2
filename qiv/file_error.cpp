#include "qiv/file_error.h"

namespace qiv {

const char* fileErrorName(E_FileError kind) {
    switch (kind) {
        case E_FileError::NONE:
            return "none";
        case E_FileError::UNREADABLE:
            return "unreadable";
        case E_FileError::FORMAT:
            return "format";
        case E_FileError::DAMAGED:
            return "damaged";
        case E_FileError::WRITE:
            return "write";
        case E_FileError::REFUSED:
            return "refused";
    }
    return "unknown";
}

}  // namespace qiv
