// The two socket controls as the program hosts them, for the persistence fuzz targets: their
// libraries registered in a scratch registry, new instances created by class ID.
#pragma once

#include "platform/com/unknown.h"

namespace quenda::fuzz {

// Makes the Qt application the controls' windows need and registers both libraries; once per
// process, before anything else.
void HostControls();

// A new UDPPort (index 0) or ICMPPort (index 1); the run stops when one cannot be made.
ComPtr<IUnknown> CreateControl(int index);
inline constexpr int kControlKinds = 2;

}  // namespace quenda::fuzz
