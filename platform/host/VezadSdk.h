// The host SDK as the plug-in sees it: the one header the plug-in includes
// to reach the host (application, documents and objects, commands and
// getters, events and undo, plug-in slots, toolbars, message boxes, views
// with their draw and mouse callbacks), with the class-library, WGL and
// Win32 subsets the plug-in uses beside it. A real
// host's SDK plugs in here, in place of the headless host's headers.
#pragma once

#include "platform/host/App.h"
#include "platform/host/Command.h"
#include "platform/host/Document.h"
#include "platform/host/Events.h"
#include "platform/host/Get.h"
#include "platform/host/MessageBox.h"
#include "platform/host/MouseCallback.h"
#include "platform/host/Object.h"
#include "platform/host/PlugIn.h"
#include "platform/host/ToolBar.h"
#include "platform/host/View.h"
#include "platform/mfc/AfxSubset.h"
#include "platform/on/OpenNurbsSubset.h"
#include "platform/wgl/WglSubset.h"
#include "platform/win32/WindowsSubset.h"
