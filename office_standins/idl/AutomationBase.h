// Stands in for the header that widl would generate from AutomationBase.idl: the real
// declarations of IUnknown, IDispatch, BSTR and VARIANT come from the Windows headers.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>
