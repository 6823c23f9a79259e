#include "DeviceVariables.h"

#include <cstring>

namespace OrlanVars {

int indexOfProperty(const char *name) {
    for (const Row &row : kRows)
        if (std::strcmp(row.property, name) == 0) return row.index;
    return -1;
}

} // namespace OrlanVars
