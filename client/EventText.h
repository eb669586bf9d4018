#pragma once

// The host's event texts ("prefix:payload") as typed events: the prefix picks the kind, the
// payload is split into the parts that kind has.

#include "pagehull_client.h"

#include <cstdint>
#include <string>
#include <vector>

namespace NsClient {

struct CTypedEvent {
    ph_event_kind kind = PH_EVENT_OTHER;
    std::wstring raw;
    std::wstring text;
    std::wstring defaultText;
    int32_t value = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::wstring> filters;
    // The filters' texts for the C interface; filled only in the event a wait hands out.
    std::vector<const wchar_t*> filterTexts;
};

CTypedEvent ParseEventText(const std::wstring& raw);

} // namespace NsClient
