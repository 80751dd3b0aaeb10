#include "toolkit/wm_handler.h"

int32_t NextPrivateMessage = 0x8000;

uint32_t TakePrivateMessage() {
    return static_cast<uint32_t>(NextPrivateMessage++);
}
