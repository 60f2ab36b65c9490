// Resource ids, shared by q42update.rc, the program and the UI driver of the tests
// (under Wine one process cannot read another's menu, so the driver posts these ids).
#pragma once

// Menu commands of the main window: 100-199.
#define IDM_SETUP 101
#define IDM_UPDATE 102
#define IDM_TEST_PORT 103
#define IDM_BENCH 104

// Menus: 200-299.
#define IDR_MAIN_MENU 201
