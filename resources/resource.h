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
