// The synapse COM object: one lumarin::synapse behind the dual _synapse
// interface. Each member checks its pointers, clears its out-parameter and
// runs the renderer inside guard(), the one place where exceptions turn
// into HRESULTs and error information; nothing throws across COM.
#include <windows.h>
#include <oleauto.h>

#include <array>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/variant.hpp"
#include "lumarin/synapse.hpp"
#include "server/com_handles.hpp"
#include "server/module.hpp"

namespace lumarin::server {

namespace {

using win::Bstr;
using win::ComPtr;

constexpr const wchar_t* kSource = L"Lumarin.synapse";

HRESULT hresult_of(int number) noexcept
{
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
}
static_assert(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6) == static_cast<HRESULT>(0x800A0006));

// Sets the thread's error information for a failure of ours and returns
// its HRESULT.
HRESULT report(ErrorKind kind) noexcept
{
    const std::string_view text = description(kind);
    // The descriptions are ASCII.
    std::wstring wide(text.begin(), text.end());
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(IID__synapse);
        create->SetSource(const_cast<LPOLESTR>(kSource));
        create->SetDescription(wide.data());
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.query(IID_IErrorInfo, info)))
            SetErrorInfo(0, info.get());
    }
    return hresult_of(static_cast<int>(kind));
}

template <typename F>
HRESULT guard(F&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (const Error& e) {
        return report(e.kind());
    } catch (const std::bad_alloc&) {
        return report(ErrorKind::OutOfMemory);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

Text text_of(BSTR b)
{
    return Text(reinterpret_cast<const char16_t*>(b), b ? SysStringLen(b) : 0u);
}

// What TopPadding's VARIANT holds, as the renderer's Variant.
lumarin::Variant variant_of(VARIANT& given)
{
    win::Variant plain;
    if (FAILED(VariantCopyInd(plain.get(), &given)))
        fail(ErrorKind::TypeMismatch);
    switch (V_VT(plain.get())) {
    case VT_EMPTY: return Empty{};
    case VT_NULL: return Null{};
    case VT_BSTR: return text_of(V_BSTR(plain.get()));
    default: break;
    }
    win::Variant number;
    const HRESULT hr = VariantChangeType(number.get(), plain.get(), 0, VT_R8);
    if (hr == DISP_E_OVERFLOW)
        fail(ErrorKind::Overflow);
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
    if (FAILED(hr))
        fail(ErrorKind::TypeMismatch);
    return V_R8(number.get());
}

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
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

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
        return guard([&] { core_.Monotize(text_of(*location)); });
    }
    HRESULT STDMETHODCALLTYPE PrintText(BSTR* text, LONG* x, LONG* y) override
    {
        if (!text || !x || !y)
            return E_POINTER;
        return guard([&] { core_.PrintText(text_of(*text), *x, *y); });
    }
    HRESULT STDMETHODCALLTYPE MaximumStringLength(BSTR* longest) override
    {
        if (!longest)
            return E_POINTER;
        return guard([&] { core_.MaximumStringLength(text_of(*longest)); });
    }
    HRESULT STDMETHODCALLTYPE TopPadding(VARIANT* height) override
    {
        if (!height)
            return E_POINTER;
        return guard([&] { core_.TopPadding(variant_of(*height)); });
    }
    HRESULT STDMETHODCALLTYPE SidePadding(short* length) override
    {
        if (!length)
            return E_POINTER;
        return guard([&] { core_.SidePadding(*length); });
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
        return guard([&] { *out = Bstr(value).detach(); });
    }
    static HRESULT put_text(Text& property, BSTR value) noexcept
    {
        return guard([&] { property = text_of(value); });
    }

    LONG refs_ = 1;
    ComPtr<ITypeInfo> type_info_;
    synapse core_;
};

static_assert(sizeof(short) == sizeof(Integer) && sizeof(VARIANT_BOOL) == sizeof(Boolean) &&
              sizeof(LONG) == sizeof(Long) && sizeof(OLECHAR) == sizeof(char16_t));

// The base type a by-reference parameter points at, or VT_EMPTY when the
// parameter is no pointer.
VARTYPE pointee_type(const ELEMDESC& param)
{
    if (param.tdesc.vt != VT_PTR || !param.tdesc.lptdesc)
        return VT_EMPTY;
    return param.tdesc.lptdesc->vt;
}

// The parameter an argument is for: named arguments come first and carry
// their parameter's index, the positional ones arrive last first. -1 when
// the name is no parameter.
int parameter_of(const DISPPARAMS& given, UINT slot)
{
    if (slot < given.cNamedArgs)
        return given.rgdispidNamedArgs ? static_cast<int>(given.rgdispidNamedArgs[slot]) : -1;
    return static_cast<int>(given.cArgs - 1 - slot);
}

// How many arguments a member takes: its parameters less the one that
// returns its value.
UINT arguments_taken(const FUNCDESC& func)
{
    UINT taken = 0;
    for (SHORT p = 0; p < func.cParams; ++p)
        if (!(func.lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL))
            ++taken;
    return taken;
}

// The arguments of one method call made to fit its by-reference
// parameters. Scripting clients pass a variable as VT_BYREF|VT_VARIANT and
// a literal by value; the type library's Invoke wants exactly a pointer to
// the parameter's type. Mismatched arguments are converted into
// temporaries passed by reference, and the temporaries' values go back
// into the caller's variables afterwards.
class ByRefArguments {
public:
    // Returns a failure HRESULT (and the argument's index) when an argument
    // names no parameter or cannot become its parameter's type.
    HRESULT prepare(const FUNCDESC& func, const DISPPARAMS& given, UINT* arg_error)
    {
        args_.assign(given.rgvarg, given.rgvarg + given.cArgs);
        temps_ = std::vector<win::Variant>(given.cArgs);
        params_ = given;
        params_.rgvarg = args_.data();
        for (UINT slot = 0; slot < given.cArgs; ++slot) {
            const int p = parameter_of(given, slot);
            if (p < 0 || p >= func.cParams) {
                if (arg_error)
                    *arg_error = slot;
                return DISP_E_PARAMNOTFOUND;
            }
            const HRESULT hr = fit(pointee_type(func.lprgelemdescParam[p]), given.rgvarg[slot], args_[slot],
                                   *temps_[slot].get());
            if (FAILED(hr)) {
                if (arg_error)
                    *arg_error = slot;
                return hr;
            }
            if (hr == S_FALSE)
                write_back_.push_back(slot);
        }
        return S_OK;
    }

    DISPPARAMS* params() noexcept { return &params_; }

    // Each converted variable gets the method's value in its own type.
    void write_back(const DISPPARAMS& given)
    {
        for (const UINT slot : write_back_) {
            VARIANT* variable = V_VARIANTREF(&given.rgvarg[slot]);
            win::Variant value;
            if (SUCCEEDED(VariantChangeType(value.get(), temps_[slot].get(), 0, V_VT(variable)))) {
                VariantClear(variable);
                *variable = *value.get();
                V_VT(value.get()) = VT_EMPTY;  // moved
            }
        }
    }

private:
    // Points `arg` at a value of type `target` for the caller's `source`:
    // S_OK when no copy was needed, S_FALSE when `temp` holds a converted
    // copy whose value must go back into the caller's variable.
    static HRESULT fit(VARTYPE target, VARIANT& source, VARIANT& arg, VARIANT& temp)
    {
        if (target == VT_EMPTY || V_VT(&arg) == (VT_BYREF | target))
            return S_OK;
        if (target == VT_VARIANT) {
            // Any value fits a VARIANT*: point at the caller's own.
            V_VT(&arg) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&arg) = &source;
            return S_OK;
        }
        const bool variable = V_VT(&source) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&source);
        if (variable && V_VT(V_VARIANTREF(&source)) == target) {
            // A variable already of the right type is passed itself.
            V_VT(&arg) = VT_BYREF | target;
            V_BYREF(&arg) = &V_I4(V_VARIANTREF(&source));
            return S_OK;
        }
        const HRESULT hr = VariantChangeType(&temp, &source, 0, target);
        if (FAILED(hr))
            return hr;
        V_VT(&arg) = VT_BYREF | target;
        V_BYREF(&arg) = &V_I4(&temp);  // every member starts at the union
        return variable ? S_FALSE : S_OK;
    }

    std::vector<VARIANT> args_;  // shallow copies; the caller owns the values
    std::vector<win::Variant> temps_;
    std::vector<UINT> write_back_;
    DISPPARAMS params_{};
};

// The function description of a member id for one of the invoke kinds in
// `flags`, released on scope exit.
class FuncDesc {
public:
    FuncDesc(ITypeInfo* info, DISPID id, WORD flags) : info_(info)
    {
        // Found by index rather than by walking every member: this runs
        // on each call through dispatch.
        ComPtr<ITypeInfo2> indexed;
        if (FAILED(ComPtr<ITypeInfo>(info).query(IID_ITypeInfo2, indexed)))
            return;
        for (const INVOKEKIND kind : {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF}) {
            UINT index = 0;
            if ((flags & kind) && SUCCEEDED(indexed->GetFuncIndexOfMemId(id, kind, &index)) &&
                SUCCEEDED(info->GetFuncDesc(index, &desc_)))
                return;
            desc_ = nullptr;
        }
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    ~FuncDesc()
    {
        if (desc_)
            info_->ReleaseFuncDesc(desc_);
    }
    const FUNCDESC* get() const noexcept { return desc_; }

private:
    ITypeInfo* info_;
    FUNCDESC* desc_ = nullptr;
};

// Our failure, should a type library's Invoke hand it back as it is,
// still reaches the caller as an exception with its description.
HRESULT as_exception(HRESULT hr, EXCEPINFO* exception)
{
    if (!FAILED(hr) || HRESULT_FACILITY(hr) != FACILITY_CONTROL || !exception)
        return hr;
    *exception = EXCEPINFO{};
    exception->scode = hr;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        info->GetDescription(&exception->bstrDescription);
        info->GetSource(&exception->bstrSource);
    }
    return DISP_E_EXCEPTION;
}

HRESULT SynapseObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* arg_error)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    auto* self = static_cast<_synapse*>(this);
    try {
        const FuncDesc func(type_info_.get(), id, flags);
        // The type library's Invoke lets surplus arguments pass unseen; a
        // call with more arguments than the member takes is refused.
        if (func.get() && params && params->cArgs > arguments_taken(*func.get()))
            return DISP_E_BADPARAMCOUNT;
        HRESULT hr;
        if (func.get() && func.get()->invkind == INVOKE_FUNC && params && params->cArgs > 0) {
            ByRefArguments args;
            hr = args.prepare(*func.get(), *params, arg_error);
            if (FAILED(hr))
                return hr;
            hr = type_info_->Invoke(self, id, flags, args.params(), result, exception, arg_error);
            args.write_back(*params);
        } else {
            hr = type_info_->Invoke(self, id, flags, params, result, exception, arg_error);
        }
        return as_exception(hr, exception);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

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
    hr = guard([&] { object = make_com<SynapseObject>(std::move(type_info)); });
    if (FAILED(hr))
        return hr;
    return object->QueryInterface(iid, out);
}

}  // namespace lumarin::server
