// The class-library subset: the one header through which the plug-in
// reaches the application object, windows, headless dialogs with data
// exchange, controls, menus, file dialogs and the wait cursor. A real class
// library plugs in here, and the resource tables become resource files.
#pragma once

#include "platform/mfc/AnswerSource.h"
#include "platform/mfc/Controls.h"
#include "platform/mfc/Dialog.h"
#include "platform/mfc/Menu.h"
#include "platform/mfc/Resources.h"
#include "platform/mfc/Wnd.h"
