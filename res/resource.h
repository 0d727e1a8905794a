// Resource ids, shared by the resource script and the program.
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

#define IDC_SETTINGS_CANCEL 7
#define IDC_SETTINGS_APPLY 9


#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
