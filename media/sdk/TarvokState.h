// Library-wide state shared by the parts of the Tarvok interface.
#pragma once

#include "media/sdk/Tarvok.h"

#include <string>

namespace tvsdk {

// The callback given at initialisation, for receivers without one.
TVMessageReceiver fallback_receiver();
std::string work_dir();

}  // namespace tvsdk
