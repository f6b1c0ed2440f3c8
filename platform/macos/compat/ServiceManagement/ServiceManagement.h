#pragma once

// The one ServiceManagement call the login-item control uses, for compiling where the framework
// is missing. Never on the include path of an Apple build.

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

Boolean SMLoginItemSetEnabled(CFStringRef identifier, Boolean enabled);

#ifdef __cplusplus
}
#endif
