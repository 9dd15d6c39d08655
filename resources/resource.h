// Resource ids shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDR_MAINFRAME 128
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

#define IDD_ABOUTBOX 100
#define IDD_WAYFARER_DIALOG 103

// Frame dialog controls
#define IDC_BOTTOM_BAND 1001
#define IDC_TOP_LINE 1004
#define IDC_HEADER_LINE 1006
#define IDC_HEADER_IMAGE 1007
#define IDC_TITLE 1008
#define IDC_PAGE_AREA 1014

// About dialog
#define IDC_ABOUT_VERSION 1045

// Controls every page template holds
#define IDC_PAGE_BAND 1002
#define IDC_PAGE_LINE 1009

// Pictures: one PNG per resource type
#define IDB_PRODUCT_LOGO 101
#define IDB_SUCCESS_MARK 102
#define IDB_ERROR_MARK 103
#define RT_IMAGE_PRODUCT_LOGO L"IMAGE_BLOB"
#define RT_IMAGE_SUCCESS_MARK L"IMAGE_BLOB2"
#define RT_IMAGE_ERROR_MARK L"IMAGE_BLOB3"

// Page templates
#define IDD_LANGUAGE_PAGE 9
#define IDD_LANGUAGE_PAGE_LUMORA 10
#define IDD_LOADING_PAGE 102
#define IDD_ERROR_PAGE 108

// Page controls
#define IDC_LANGUAGE_COMBO 1000
#define IDC_LANGUAGE_NEXT 1010
#define IDC_SPLASH_TEXT 1011
#define IDC_SPLASH_TEXT_LUMORA 1012
#define IDC_SPLASH_TITLE_LUMORA 1013
#define IDC_LOADING_FRAME 1015
#define IDC_PAGE_IMAGE 1016
#define IDC_ERROR_CLOSE 1035
#define IDC_ERROR_TITLE 1036
#define IDC_ERROR_TEXT 1037
#define IDC_ERROR_LOG 1097
#define IDC_LOADING_PROGRESS 1043

// Language documents (resource type LOCALE): ISV 101-102, DLM 105-118, the brand fragment 120
#define IDL_ISV_EN_US 101
#define IDL_ISV_ES 102
#define IDL_DLM_EN_US 105
#define IDL_DLM_ES 106
#define IDL_DLM_PT_BR 107
#define IDL_DLM_PL 108
#define IDL_DLM_CS 109
#define IDL_DLM_DA 110
#define IDL_DLM_DE 111
#define IDL_DLM_FI 112
#define IDL_DLM_FR 113
#define IDL_DLM_IT 114
#define IDL_DLM_NL 115
#define IDL_DLM_PL_AGAIN 116
#define IDL_DLM_RU 117
#define IDL_DLM_TR 118
#define IDL_BRAND_FRAGMENT 120

// Ids of the later pages, one header per group of pages.
#include "resource_reading.h"
#include "resource_ending.h"
#include "resource_download.h"
