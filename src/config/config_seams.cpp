#include "config/config_seams.h"

constinit CConfigSeams ConfigSeams{};

CConfigSeams DefaultConfigSeams() {
    return {};
}
