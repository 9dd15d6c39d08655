// Template and control ids of the download pages.
#pragma once

#define IDD_DOWNLOAD_PAGE_ISV 106
#define IDD_DOWNLOAD_PAGE_DLM 110

#define IDC_PROGRESS_TITLE 1025
#define IDC_PROGRESS_DESC 1026
#define IDC_DOWNLOAD_PROGRESS 1043
