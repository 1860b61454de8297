// Identifiers of the program's resources and of the controls of its dialogs.
#pragma once

// Icons
#define IDI_APPLICATION_ICON 106
#define IDI_PLAYER 134
#define IDI_SERVER 135
#define IDI_STATUS_MESSAGE 136
#define IDI_PING_GOOD 137
#define IDI_PING_BAD 138
#define IDI_PING_MEDIUM 139
#define IDI_WINDOWS 168
#define IDI_LINUX 169
#define IDI_FREEBSD 170
#define IDI_MAC 171
#define IDI_PADLOCK 172

// The main dialog and its controls
#define IDD_MAIN 165
// The main dialog's client area in dialog units: the layout's own size.
#define IDD_MAIN_WIDTH 457
#define IDD_MAIN_HEIGHT 258
#define IDC_STATUS_BAR 140
#define IDC_SERVER_LIST 1017
#define IDC_PLAYER_LIST 1018
#define IDC_EXIT 1019
#define IDC_CONFIG 1020
#define IDC_UPDATE 1021
#define IDC_SERVERS_FRAME 1022
#define IDC_PLAYERS_FRAME 1023
#define IDC_CONTROLS_FRAME 1024
#define IDC_SHOW_FULL 1028
#define IDC_SHOW_EMPTY 1029
#define IDC_FILTER_TEXT 1033

// The configuration dialog and its fields
#define IDD_CONFIG 164
#define IDC_MEDIUM_PING 109
#define IDC_GAME_PATH 1014
#define IDC_GAME_EXECUTABLE 1015
#define IDC_BUDDY_LIST 1025
#define IDC_PACKETS_PER_SECOND 1027
#define IDC_GOOD_PING 1028
#define IDC_MASTER_SERVERS 1030
#define IDC_FAVOURITE_SERVERS 1031
#define IDC_BROWSE_GAME_PATH 1032
#define IDC_MAXIMUM_PING 1034

// The server row's menu and the main window's keys
#define IDM_SERVER_ROW 200
#define IDA_MAIN_KEYS 201
#define IDM_JOIN 40001
#define IDM_REFRESH 40002
#define IDM_COPY_ADDRESS 40003
#define IDM_UPDATE_KEY 40004
#define IDM_ROW_MENU_KEY 40005
#define IDM_TOGGLE_FAVOURITE 40006
#define IDM_ADD_SERVER 40007
#define IDM_FIND_PLAYER 40008
#define IDM_SERVER_DETAILS 40009
#define IDM_JOIN_SPECTATOR 40010
#define IDM_FORGET_PASSWORD 40011
#define IDM_FILTER_LINE 40012
#define IDM_JOIN_WITH_PASSWORD 40013
#define IDM_COPY_JOIN_LINK 40014

// The "Add Server" dialog
#define IDD_ADD_SERVER 166
#define IDC_SERVER_ADDRESS 1040
#define IDC_ADD_SERVER_STATUS 1041

// The "Find Player" dialog
#define IDD_FIND_PLAYER 167
#define IDC_FIND_TEXT 1050
#define IDC_FIND_MATCHES 1051
#define IDC_FIND_STATUS 1052

// The "Server Details" dialog
#define IDD_SERVER_DETAILS 168
#define IDC_DETAIL_KEYS 1060
#define IDC_DETAIL_PLAYERS 1061
#define IDC_COPY_ALL 1062
#define IDC_DETAIL_ADDRESS 1063

#define IDD_JOIN_SERVER 175
#define IDC_JOIN_HOST 1070
#define IDC_JOIN_PASSWORD_LABEL 1071
#define IDC_JOIN_PASSWORD 1072
#define IDC_REMEMBER_PASSWORD 1073
#define IDC_JOIN_REFUSAL 1074
