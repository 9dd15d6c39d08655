#include "download/ShellLaunch.h"

#include "win32/Handle.h"

#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

namespace download {
namespace {

const CLSID kClsidShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
const GUID kTopLevelBrowser = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};

// The variant borrows the string, which outlives it; it is not cleared.
VARIANT TextVariant(BSTR text) {
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    return value;
}

// The automation object of the shell that runs the desktop: its window list finds the desktop's browser, whose
// view's background object belongs to the desktop's process.
win32::ComPtr<IShellDispatch2> DesktopShell() {
    win32::ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                  windows.PutVoid())) ||
        !windows)
        return {};
    VARIANT none;
    ::VariantInit(&none);
    long window = 0;
    win32::ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Put()) != S_OK || !desktop)
        return {};
    win32::ComPtr<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(__uuidof(IServiceProvider), services.PutVoid())) || !services)
        return {};
    win32::ComPtr<IShellBrowser> browser;
    if (FAILED(services->QueryService(kTopLevelBrowser, __uuidof(IShellBrowser), browser.PutVoid())) || !browser)
        return {};
    win32::ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.Put())) || !view)
        return {};
    win32::ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) || !background)
        return {};
    win32::ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(__uuidof(IShellFolderViewDual), folderView.PutVoid())) || !folderView)
        return {};
    win32::ComPtr<IDispatch> application;
    if (FAILED(folderView->get_Application(application.Put())) || !application)
        return {};
    win32::ComPtr<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(__uuidof(IShellDispatch2), shell.PutVoid())))
        return {};
    return shell;
}

}  // namespace

bool OpenAsDesktopUser(const std::wstring& file, const std::wstring& parameters) {
    // Declared first, so that every interface below is released before COM is left.
    win32::ComInitialization com;
    win32::ComPtr<IShellDispatch2> shell = DesktopShell();
    if (!shell)
        return false;
    const size_t slash = file.find_last_of(L'\\');
    win32::BString path(file);
    win32::BString arguments(parameters);
    win32::BString folder(slash == std::wstring::npos ? std::wstring() : file.substr(0, slash));
    win32::BString verb(L"open");
    VARIANT argumentsValue = TextVariant(arguments.Get());
    VARIANT folderValue = TextVariant(folder.Get());
    VARIANT verbValue = TextVariant(verb.Get());
    VARIANT show;
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return SUCCEEDED(shell->ShellExecute(path.Get(), argumentsValue, folderValue, verbValue, show));
}

}  // namespace download
