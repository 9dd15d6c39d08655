#include "ui/AccessibleName.h"

#include "ui/Window.h"
#include "win32/SystemLibraries.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <mutex>

namespace ui {
namespace {

// The accessibility library is loaded when a screen reader first asks, never at start-up; it stays for the
// process's life, as the objects it made may.
struct Oleacc {
    using CreateStdObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using ResultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    CreateStdObject createStdObject = nullptr;
    ResultFromObject resultFromObject = nullptr;
};

const Oleacc& GetOleacc() {
    static Oleacc oleacc;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE module = win32::LoadSystemLibrary(L"oleacc.dll");
        if (module == nullptr)
            return;
        oleacc.createStdObject =
            reinterpret_cast<Oleacc::CreateStdObject>(::GetProcAddress(module, "CreateStdAccessibleObject"));
        oleacc.resultFromObject =
            reinterpret_cast<Oleacc::ResultFromObject>(::GetProcAddress(module, "LresultFromObject"));
    });
    return oleacc;
}

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The system's object for a control, with another name; everything else is the system's answer.
class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* inner, std::wstring name, bool hidden)
        : m_inner(inner), m_name(std::move(name)), m_hidden(hidden) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        // What the object offers besides (its window, its children's enumeration) is the system's.
        return m_inner->QueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return m_inner->GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return m_inner->GetTypeInfo(index, locale, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        return m_inner->GetIDsOfNames(iid, names, count, locale, ids);
    }
    STDMETHODIMP Invoke(DISPID id,
                        REFIID iid,
                        LCID locale,
                        WORD flags,
                        DISPPARAMS* parameters,
                        VARIANT* result,
                        EXCEPINFO* exception,
                        UINT* argumentError) override {
        return m_inner->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
    }

    // IAccessible
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child))
            return m_inner->get_accName(child, name);
        if (name == nullptr)
            return E_POINTER;
        *name = ::SysAllocStringLen(m_name.data(), static_cast<UINT>(m_name.size()));
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_accParent(IDispatch** parent) override { return m_inner->get_accParent(parent); }
    STDMETHODIMP get_accChildCount(long* count) override { return m_inner->get_accChildCount(count); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override {
        return m_inner->get_accChild(child, object);
    }
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override { return m_inner->get_accValue(child, value); }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override {
        return m_inner->get_accDescription(child, text);
    }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override { return m_inner->get_accRole(child, role); }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
        const HRESULT result = m_inner->get_accState(child, state);
        // Screen readers skip what is invisible; the window itself stays on the screen.
        if (SUCCEEDED(result) && m_hidden && IsSelf(child) && state != nullptr && state->vt == VT_I4)
            state->lVal |= STATE_SYSTEM_INVISIBLE;
        return result;
    }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) override { return m_inner->get_accHelp(child, help); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return m_inner->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return m_inner->get_accKeyboardShortcut(child, shortcut);
    }
    STDMETHODIMP get_accFocus(VARIANT* child) override { return m_inner->get_accFocus(child); }
    STDMETHODIMP get_accSelection(VARIANT* children) override { return m_inner->get_accSelection(children); }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override {
        return m_inner->get_accDefaultAction(child, action);
    }
    STDMETHODIMP accSelect(long flags, VARIANT child) override { return m_inner->accSelect(flags, child); }
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return m_inner->accLocation(left, top, width, height, child);
    }
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return m_inner->accNavigate(direction, start, end);
    }
    STDMETHODIMP accHitTest(long left, long top, VARIANT* child) override {
        return m_inner->accHitTest(left, top, child);
    }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override { return m_inner->accDoDefaultAction(child); }
    STDMETHODIMP put_accName(VARIANT child, BSTR name) override { return m_inner->put_accName(child, name); }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) override { return m_inner->put_accValue(child, value); }

private:
    ~NamedAccessible() { m_inner->Release(); }

    IAccessible* m_inner;
    std::wstring m_name;
    bool m_hidden;
    std::atomic<ULONG> m_references{1};
};

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

AccessibleName::~AccessibleName() {
    if (m_window != nullptr && ::IsWindow(m_window))
        ::RemoveWindowSubclass(m_window, SubclassProc, kSubclassId);
}

bool AccessibleName::Attach(HWND window, std::function<std::wstring()> name) {
    if (window == nullptr)
        return false;
    m_name = std::move(name);
    m_window = window;
    return ::SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

bool AccessibleName::AttachHidden(HWND window) {
    m_hidden = true;
    return Attach(window, nullptr);
}

LRESULT CALLBACK
AccessibleName::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<AccessibleName*>(data);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
        self->m_window = nullptr;
    } else if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
        try {
            const Oleacc& oleacc = GetOleacc();
            IAccessible* inner = nullptr;
            if (oleacc.createStdObject != nullptr && oleacc.resultFromObject != nullptr &&
                SUCCEEDED(oleacc.createStdObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&inner))) &&
                inner != nullptr) {
                auto* named =
                    new NamedAccessible(inner, self->m_name ? self->m_name() : std::wstring(), self->m_hidden);
                // The result holds its own reference; ours goes.
                LRESULT result = oleacc.resultFromObject(__uuidof(IAccessible), wParam, named);
                named->Release();
                return result;
            }
        } catch (...) {
            // No exception may cross into the system; the control keeps the system's object.
        }
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

std::wstring GetLabelText(HWND window) {
    HWND label = window != nullptr ? ::GetWindow(window, GW_HWNDPREV) : nullptr;
    return label != nullptr ? Window(label).GetText() : std::wstring();
}

}  // namespace ui
