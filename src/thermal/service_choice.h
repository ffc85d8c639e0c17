// Which of the maker's two services runs the thermal modes. Internal to the library.
#pragma once

namespace Celdor {

// The process-management service took over the thermal modes from the thermal service with
// its version 0x2000; an older one, or none (version 0), leaves them to the thermal service.
inline bool DispatcherRunsThermalModes(int dispatcherVersion) {
    return dispatcherVersion >= 0x2000;
}

} // namespace Celdor
