// The component core in one include.
#pragma once

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Date.h"
#include "platform/com/Interfaces.h"
#include "platform/com/LocalServer.h"
#include "platform/com/Runtime.h"
#include "platform/com/TypeInfo.h"
#include "platform/com/Types.h"
#include "platform/com/Variant.h"
