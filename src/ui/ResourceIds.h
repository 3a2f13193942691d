// Numbers of the program's resources, controls, messages and private window
// events. Plain #defines, because the resource compiler reads this file too.
#pragma once

#define IDI_APP 101
#define IDD_UPDATE 102
#define IDR_FIRMWARE 110
#define RT_FIRMBIN_NAME "FIRMBIN"

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#define IDC_PROGRESS 1002
#define IDC_DEVICE_LIST 1008
#define IDC_RESEARCH 1009
#define IDC_PASSWORD 1010
#define IDC_DEVICE_LABEL 1013
#define IDC_PASSWORD_LABEL 1014
#define IDC_INFO_TEXT 1018

// Private window events (WM_USER + 77 and + 78).
#define WM_DISCOVERY_SOCKET 1101
#define WM_TRANSFER_SOCKET 1102

// The message catalogue (string table).
#define MSG_CANCEL_BUTTON 1
#define MSG_RESEARCH_BUTTON 2
#define MSG_ROUTERS_FOUND 3
#define MSG_SEARCHING 4
#define MSG_APP_CAPTION 5
#define MSG_NO_ROUTER_FOUND 6
#define MSG_UNSUPPORTED_OS 7
#define MSG_IMAGE_UNREADABLE 10
#define MSG_NO_COMMUNICATION 12
#define MSG_BAD_PASSWORD 13
#define MSG_INTERNAL_ERROR 14
#define MSG_UPDATING 15
#define MSG_HINT_OTHER_SUBNET 16
#define MSG_HINT_CHECK_POWER 17
#define MSG_PREPARING 18
#define MSG_CONNECTING 19
#define MSG_ALREADY_UPDATING 20
#define MSG_ROUTER_WRITING 21
#define MSG_DOWNLOAD_FAILED 22
#define MSG_DOWNLOAD_ERROR_ABORTED 23
#define MSG_DOWNLOAD_ABORTED 24
#define MSG_DOWNLOAD_ERROR 25
#define MSG_ABORTING 26
#define MSG_UPDATE_DONE 27
#define MSG_UPDATE_NOT_APPLIED 28
#define MSG_RESTART_NOT_SEEN 29
#define MSG_CONFIRM_MAIN_UNIT 30
#define MSG_DETAILS 31
#define MSG_QUERYING_MODULES 32
#define MSG_IMAGE_NOT_FOR_ROUTER 33
#define MSG_DETAILS_WITH_MODULE 34
#define MSG_CONFIRM_ISDN_MODULE 35
#define MSG_CONFIRM_MODEM_MODULE 36
