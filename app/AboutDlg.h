// The About box, reached from the frame's system menu.
#pragma once

#include "ui/Dialog.h"

class CAboutDlg : public ui::Dialog {
public:
    explicit CAboutDlg(HWND parent = nullptr);

private:
    BOOL OnInitDialog() override;

    ui::Static m_versionStatic;
};
