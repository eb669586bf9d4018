#pragma once

// The host's event texts ("prefix:payload") as typed events: the prefix picks the kind, the
// payload is split into the parts that kind has.

#include "pagehull_client.hpp"

#include <string>
#include <vector>

namespace NsClient {

// The wrapper's event, which owns its texts, and what the C interface hands out of it.
struct CTypedEvent : pagehull::Event {
    // The filters' texts for the C interface; filled only in the event a wait hands out.
    std::vector<const wchar_t*> filterTexts;
};

CTypedEvent ParseEventText(const std::wstring& raw);

} // namespace NsClient
