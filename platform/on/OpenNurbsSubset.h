// The openNURBS subset: the one header through which the system reaches the
// geometry, archive and viewport types it exchanges with the host. A real
// openNURBS library plugs in here, in place of the layer's own headers.
#pragma once

#include "platform/on/Archive.h"
#include "platform/on/Arrays.h"
#include "platform/on/Brep.h"
#include "platform/on/Curve.h"
#include "platform/on/Mesh.h"
#include "platform/on/Object.h"
#include "platform/on/Surface.h"
#include "platform/on/Values.h"
#include "platform/on/Viewport.h"
#include "platform/on/WideString.h"
