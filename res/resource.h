// Resource and control ids, shared by the resource script and the program
// (the portable dialog models use the control ids too).
#pragma once

#define IDD_ABOUTBOX 103
#define IDD_SETTINGS 104
#define IDD_INPUT 105
#define IDI_APP 107
#define IDM_MAIN 109
#define IDI_SMALL 130
#define IDI_PICK 131

#define IDC_ABOUT_EDIT 1000

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SETTINGS 32772
#define IDM_REMARK 32774
#define IDM_MONITORING 32779
#define IDM_CORRECT_NOW 32780
#define IDM_HELP 32781
#define IDM_README 32782

// The settings dialog. OK is IDOK (1); the Escape key and the close box send IDCANCEL (2).
#define IDC_REFRESH 3
#define IDC_ADD_CLASS 4
#define IDC_ADD_TITLE 5
#define IDC_ADD_BOTH 6
#define IDC_CANCEL_BUTTON 7
#define IDC_REMOVE 8
#define IDC_APPLY 9
#define IDC_UP 10
#define IDC_DOWN 11
#define IDC_ADD_INPUT 12
#define IDC_VISIBLE_CLASSES 1001
#define IDC_VISIBLE_TITLES 1002
#define IDC_VISIBLE_BAR 1003
#define IDC_RULE_CLASSES 1004
#define IDC_RULE_BAR 1005
#define IDC_RULE_TITLES 1006
#define IDC_NAME 1007
#define IDC_LEFT 1008
#define IDC_MOVEX 1009
#define IDC_LMOVEX 1010
#define IDC_TOP 1011
#define IDC_MOVEY 1012
#define IDC_LMOVEY 1013
#define IDC_WIDTH 1014
#define IDC_SIZEX 1015
#define IDC_LSIZEX 1016
#define IDC_HEIGHT 1017
#define IDC_SIZEY 1018
#define IDC_LSIZEY 1019
#define IDC_MSFSTT 1020
#define IDC_FORCESTT 1021
#define IDC_FSTFORCE 1022
#define IDC_STATE 1023
#define IDC_CTRL 1024
#define IDC_SHIFT 1025
#define IDC_ALT 1026
#define IDC_WIN 1027
#define IDC_KEY 1028
#define IDC_TRAY 1032
#define IDC_PICK 1033
#define IDC_KEEP_ON_SCREEN 1034

// The input dialog: its fields, and the cursor icon IDC_PICK.
#define IDC_INPUT_CLASS 1031
#define IDC_INPUT_TITLE 1032

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
