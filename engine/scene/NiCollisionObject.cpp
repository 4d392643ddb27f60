#include "engine/scene/NiCollisionObject.h"

NiImplementTypeInfo(NiCollisionObject, NiObject)
