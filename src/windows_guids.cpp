// The device interface class the library enumerates batteries by. The Windows headers only
// declare GUID_DEVICE_BATTERY and no import library carries it, so it is defined here, once.
#include "win32.h"

#include <initguid.h>

#include <poclass.h>
