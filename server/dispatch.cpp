#include "server/dispatch.hpp"

#include <oleauto.h>

#include <vector>

#include "server/com_handles.hpp"
#include "server/errors.hpp"

namespace lumarin::server {

namespace {

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
    // copy whose value must go back into the caller's variable. Throws
    // std::bad_alloc when memory for the copy runs out.
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
        throw_if_out_of_memory(hr);
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
        win::ComPtr<ITypeInfo2> indexed;
        if (FAILED(win::ComPtr<ITypeInfo>(info).query(IID_ITypeInfo2, indexed)))
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

// Our failure reaches the caller as an exception with its description,
// whether the type library's Invoke hands the member's back as it is or
// memory ran out here.
HRESULT as_exception(HRESULT hr, EXCEPINFO* exception)
{
    if (!FAILED(hr) || HRESULT_FACILITY(hr) != FACILITY_CONTROL || !exception)
        return hr;
    *exception = EXCEPINFO{};
    exception->scode = hr;
    win::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        info->GetDescription(&exception->bstrDescription);
        info->GetSource(&exception->bstrSource);
    }
    return DISP_E_EXCEPTION;
}

// The call itself, arguments fitted; throws when memory runs out.
HRESULT invoke_fitted(ITypeInfo* info, void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* arg_error)
{
    const FuncDesc func(info, id, flags);
    // The type library's Invoke lets surplus arguments pass unseen; a
    // call with more arguments than the member takes is refused.
    if (func.get() && params && params->cArgs > arguments_taken(*func.get()))
        return DISP_E_BADPARAMCOUNT;
    if (!func.get() || func.get()->invkind != INVOKE_FUNC || !params || params->cArgs == 0)
        return info->Invoke(object, id, flags, params, result, exception, arg_error);
    ByRefArguments args;
    HRESULT hr = args.prepare(*func.get(), *params, arg_error);
    if (FAILED(hr))
        return hr;
    hr = info->Invoke(object, id, flags, args.params(), result, exception, arg_error);
    args.write_back(*params);
    return hr;
}

}  // namespace

HRESULT invoke_member(ITypeInfo* info, void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* arg_error) noexcept
{
    const HRESULT hr =
        member_call([&] { return invoke_fitted(info, object, id, flags, params, result, exception, arg_error); });
    return as_exception(hr, exception);
}

}  // namespace lumarin::server
