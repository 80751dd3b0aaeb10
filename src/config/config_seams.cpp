#include "config/config_seams.h"

CConfigSeams ConfigSeams{};

CConfigSeams DefaultConfigSeams() {
    return {};
}
