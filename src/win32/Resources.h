// SPDX-License-Identifier: GPL-3.0-or-later
// The ids of the program's dialog templates, their controls and its menu
// commands; read by the resource compiler as well as the C++ code, so it holds
// plain #defines only.
#pragma once

// Menu bar commands (the numbers the menus have always had).
#define CMD_SAVE_SNAPSHOT 32772
#define CMD_LOAD_SNAPSHOT 32773
#define CMD_EXIT 32774
#define CMD_RECOVER_SELECTED 32806
#define CMD_RECOVER_ALL 32807
#define CMD_ICONS 32808
#define CMD_FIND_FILES 32813
#define CMD_FILE_FILTERS 32814
#define CMD_SETTINGS 32815
#define CMD_CONTENTS 32816
#define CMD_ABOUT 32817
#define CMD_DRIVE_INFORMATION 32840
#define CMD_LIVE_UPDATE 32842
#define CMD_LIST 59410
#define CMD_DETAILS 59411
// The file list's right-click menu.
#define CMD_MENU_ICONS 32819
#define CMD_MENU_LIST 32820
#define CMD_MENU_RECOVER_SELECTED 32825
#define CMD_MENU_RECOVER_ALL 32826
#define CMD_OPEN 32827
#define CMD_MENU_SETTINGS 32828
#define CMD_OPEN_WITH 32829
#define CMD_PROPERTIES 32830
#define CMD_MENU_FIND_FILES 32836
#define CMD_MENU_DETAILS 32837
#define CMD_RENAME 32839
// Ours.
#define CMD_ADD_DISK_IMAGE 32900
#define CMD_DEEP_SEARCH 32901
#define CMD_BACK 32902
#define CMD_STOP 32903
#define CMD_SEARCH_LOST_VOLUMES 32911
#define CMD_SELECT_ALL 32920

// Dialog templates.
#define IDD_PROPERTIES 156
#define IDD_FIND_FILES 159
#define IDD_FILE_FILTERS 160
#define IDD_DRIVE_INFORMATION 161
#define IDD_SETTINGS 162
#define IDD_RENAME 163
#define IDD_ABOUT 164

// Properties: the values (the captions are plain statics).
#define IDC_PROP_SIZE 1011
#define IDC_PROP_NAME 1012
#define IDC_PROP_CONTAINS 1013
#define IDC_PROP_MODIFIED 1014
#define IDC_PROP_CREATED 1015
#define IDC_PROP_CONTAINS_CAPTION 1016
#define IDC_PROP_CLUSTERS 1017
#define IDC_PROP_CONDITION 1018
#define IDC_PROP_PATH 1019

// Find File(s).
#define IDC_FIND_PATTERN 1030
#define IDC_FIND_START 1031
#define IDC_FIND_STOP 1032
#define IDC_FIND_RESULTS 1033
#define IDC_FIND_LAST 1034
#define IDC_FIND_COUNT 1035
#define IDC_FIND_GOTO 1036

// File Filters.
#define IDC_FILTER_PATTERN 1040
#define IDC_FILTER_ADD 1041
#define IDC_FILTER_LIST 1042
#define IDC_FILTER_REMOVE 1043

// Drive Information: eight values, one after the other.
#define IDC_DRIVE_VALUE0 1050

// Recovery Settings.
#define IDC_SET_SECTORS 1060
#define IDC_SET_RENAME 1061
#define IDC_SET_OVERWRITE 1062
#define IDC_SET_SKIP 1063
#define IDC_SET_RETRIES 1064
#define IDC_SET_TIMES 1065
#define IDC_SET_THOROUGH 1066
#define IDC_SET_DEEP 1067

// Rename.
#define IDC_RENAME_EDIT 1070
#define IDC_RENAME_OLD 1071

// About.
#define IDC_ABOUT_TEXT 1080

// Preview.
#define CMD_PREVIEW 32904
#define IDD_PREVIEW 165
#define IDC_PREVIEW_INFO 1090
#define IDC_PREVIEW_TEXT 1091
#define IDC_PREVIEW_AS_PICTURE 1092
#define IDC_PREVIEW_AS_TEXT 1093
#define IDC_PREVIEW_AS_HEX 1094

// Search for Lost Volumes.
#define IDD_LOST_VOLUMES 166
#define IDC_LOST_WHAT 1100
#define IDC_LOST_STATUS 1101
#define IDC_LOST_PROGRESS 1102
#define IDC_PREVIEW_PICTURE 1095
