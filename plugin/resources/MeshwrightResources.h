// The plug-in's resource tables: the menus "Fenwo Tools" (6017) and the
// grid editor's context menu (6023), and the dialogs 6024 (general
// information), 6019 (progress) and 6020 (options), with their item and
// control ids and texts.
#pragma once

// Registers the tables with the class-library subset so that CMenu::LoadMenu
// and the dialogs find them; calling it again changes nothing. Not
// thread-safe.
void registerMeshwrightResources();
