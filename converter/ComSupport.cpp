#include "ComSupport.h"

namespace NsConverter {

void RaiseComError(HRESULT result, IUnknown* object, REFIID iid)
{
    IErrorInfo* errorInfo = nullptr;
    CComPtr<ISupportErrorInfo> support;
    if (object && SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, support.ReceiveVoid())) && support &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK)
        ::GetErrorInfo(0, &errorInfo);
    // The exception takes over the reference that GetErrorInfo handed out.
    throw _com_error(result, errorInfo);
}

} // namespace NsConverter
