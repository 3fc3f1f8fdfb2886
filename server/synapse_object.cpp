// The synapse COM object: one lumarin::synapse behind the dual _synapse
// interface. Each member checks its pointers, clears its out-parameter and
// runs the renderer inside member_call(), where exceptions turn into
// HRESULTs and error information; nothing throws across COM.
#include <windows.h>
#include <oleauto.h>

#include <utility>

#include "lumarin/synapse.hpp"
#include "server/com_handles.hpp"
#include "server/conversion.hpp"
#include "server/dispatch.hpp"
#include "server/errors.hpp"
#include "server/module.hpp"

namespace lumarin::server {

namespace {

using win::Bstr;
using win::ComPtr;

class SynapseObject final : public _synapse, public ISupportErrorInfo {
public:
    explicit SynapseObject(ComPtr<ITypeInfo> type_info) : type_info_(std::move(type_info)) { object_created(); }
    ~SynapseObject() { object_destroyed(); }
    SynapseObject(const SynapseObject&) = delete;
    SynapseObject& operator=(const SynapseObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__synapse)
            *out = static_cast<_synapse*>(this);
        else if (iid == IID_ISupportErrorInfo)
            *out = static_cast<ISupportErrorInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return iid == IID__synapse || iid == IID_IDispatch ? S_OK : S_FALSE;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        type_info_->AddRef();
        *out = type_info_.get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override
    {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(type_info_.get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* arg_error) override
    {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return invoke_member(type_info_.get(), static_cast<_synapse*>(this), id, flags, params, result, exception,
                             arg_error);
    }

    // _synapse: properties
    HRESULT STDMETHODCALLTYPE get_LineSpacing(short* v) override { return get(v, core_.LineSpacing); }
    HRESULT STDMETHODCALLTYPE put_LineSpacing(short v) override { return put(core_.LineSpacing, v); }
    HRESULT STDMETHODCALLTYPE get_FinalBold(VARIANT_BOOL* v) override { return get(v, core_.FinalBold); }
    HRESULT STDMETHODCALLTYPE put_FinalBold(VARIANT_BOOL v) override { return put(core_.FinalBold, v); }
    HRESULT STDMETHODCALLTYPE get_FileName(BSTR* v) override { return get_text(v, core_.FileName); }
    HRESULT STDMETHODCALLTYPE put_FileName(BSTR v) override { return put_text(core_.FileName, v); }
    HRESULT STDMETHODCALLTYPE get_FontSize(short* v) override { return get(v, core_.FontSize); }
    HRESULT STDMETHODCALLTYPE put_FontSize(short v) override { return put(core_.FontSize, v); }
    HRESULT STDMETHODCALLTYPE get_FontName(BSTR* v) override { return get_text(v, core_.FontName); }
    HRESULT STDMETHODCALLTYPE put_FontName(BSTR v) override { return put_text(core_.FontName, v); }
    HRESULT STDMETHODCALLTYPE get_FontUnderline(VARIANT_BOOL* v) override { return get(v, core_.FontUnderline); }
    HRESULT STDMETHODCALLTYPE put_FontUnderline(VARIANT_BOOL v) override { return put(core_.FontUnderline, v); }
    HRESULT STDMETHODCALLTYPE get_FontItalic(VARIANT_BOOL* v) override { return get(v, core_.FontItalic); }
    HRESULT STDMETHODCALLTYPE put_FontItalic(VARIANT_BOOL v) override { return put(core_.FontItalic, v); }
    HRESULT STDMETHODCALLTYPE get_FontStrikethru(VARIANT_BOOL* v) override { return get(v, core_.FontStrikethru); }
    HRESULT STDMETHODCALLTYPE put_FontStrikethru(VARIANT_BOOL v) override { return put(core_.FontStrikethru, v); }
    HRESULT STDMETHODCALLTYPE get_ForeColor(BSTR* v) override { return get_text(v, core_.ForeColor); }
    HRESULT STDMETHODCALLTYPE put_ForeColor(BSTR v) override { return put_text(core_.ForeColor, v); }
    HRESULT STDMETHODCALLTYPE get_BackColor(BSTR* v) override { return get_text(v, core_.BackColor); }
    HRESULT STDMETHODCALLTYPE put_BackColor(BSTR v) override { return put_text(core_.BackColor, v); }
    HRESULT STDMETHODCALLTYPE get_FontWeight(short* v) override { return get(v, core_.FontWeight); }
    HRESULT STDMETHODCALLTYPE put_FontWeight(short v) override { return put(core_.FontWeight, v); }

    // _synapse: methods
    HRESULT STDMETHODCALLTYPE Monotize(BSTR* location) override
    {
        if (!location)
            return E_POINTER;
        return member_call([&] { core_.Monotize(text_of(*location)); });
    }
    HRESULT STDMETHODCALLTYPE PrintText(BSTR* text, LONG* x, LONG* y) override
    {
        if (!text || !x || !y)
            return E_POINTER;
        return member_call([&] { core_.PrintText(text_of(*text), *x, *y); });
    }
    HRESULT STDMETHODCALLTYPE MaximumStringLength(BSTR* longest) override
    {
        if (!longest)
            return E_POINTER;
        return member_call([&] { core_.MaximumStringLength(text_of(*longest)); });
    }
    HRESULT STDMETHODCALLTYPE TopPadding(VARIANT* height) override
    {
        if (!height)
            return E_POINTER;
        return member_call([&] { core_.TopPadding(variant_of(*height)); });
    }
    HRESULT STDMETHODCALLTYPE SidePadding(short* length) override
    {
        if (!length)
            return E_POINTER;
        return member_call([&] { core_.SidePadding(*length); });
    }

private:
    template <typename T>
    static HRESULT get(T* out, T value) noexcept
    {
        if (!out)
            return E_POINTER;
        *out = value;
        return S_OK;
    }
    template <typename T>
    static HRESULT put(T& property, T value) noexcept
    {
        property = value;
        return S_OK;
    }
    // Through the vtable a Boolean keeps the 16 bits the client stored.
    static HRESULT get(VARIANT_BOOL* out, Boolean value) noexcept { return get(out, value.bits()); }
    static HRESULT put(Boolean& property, VARIANT_BOOL value) noexcept
    {
        property = Boolean::from_bits(value);
        return S_OK;
    }
    static HRESULT get_text(BSTR* out, const Text& value) noexcept
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return member_call([&] { *out = Bstr(value).detach(); });
    }
    static HRESULT put_text(Text& property, BSTR value) noexcept
    {
        return member_call([&] { property = text_of(value); });
    }

    LONG refs_ = 1;
    ComPtr<ITypeInfo> type_info_;
    synapse core_;
};

static_assert(sizeof(short) == sizeof(Integer) && sizeof(VARIANT_BOOL) == sizeof(Boolean) &&
              sizeof(LONG) == sizeof(Long));

template <typename T, typename... Args>
ComPtr<T> make_com(Args&&... args)
{
    // The object starts with the one reference handed to the caller.
    return ComPtr<T>::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace

HRESULT create_synapse(REFIID iid, void** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    ComPtr<ITypeInfo> type_info;
    HRESULT hr = synapse_type_info(type_info.put());
    if (FAILED(hr))
        return hr;
    ComPtr<SynapseObject> object;
    hr = member_call([&] { object = make_com<SynapseObject>(std::move(type_info)); });
    if (FAILED(hr))
        return hr;
    return object->QueryInterface(iid, out);
}

}  // namespace lumarin::server
