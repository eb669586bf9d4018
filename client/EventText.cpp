#include "EventText.h"

#include <cwchar>

namespace NsClient {

namespace {

bool TakePrefix(const std::wstring& text, const wchar_t* prefix, std::wstring& rest)
{
    const size_t length = std::wcslen(prefix);
    if (text.compare(0, length, prefix) != 0)
        return false;
    rest = text.substr(length);
    return true;
}

// A decimal number as the host writes it; anything else reads as 0.
int32_t ParseNumber(const std::wstring& text)
{
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == L'\0' ? static_cast<int32_t>(value) : 0;
}

// "dialogMode:N|title:T|defFileName:D|fileType:F|...": every part ends in "|".
void ParseFileDialog(const std::wstring& payload, CTypedEvent& event)
{
    size_t begin = 0;
    while (begin < payload.size()) {
        size_t end = payload.find(L'|', begin);
        if (end == std::wstring::npos)
            end = payload.size();
        const std::wstring part = payload.substr(begin, end - begin);
        std::wstring value;
        if (TakePrefix(part, L"dialogMode:", value))
            event.value = ParseNumber(value);
        else if (TakePrefix(part, L"title:", value))
            event.text = value;
        else if (TakePrefix(part, L"defFileName:", value))
            event.defaultText = value;
        else if (TakePrefix(part, L"fileType:", value))
            event.filters.push_back(value);
        begin = end + 1;
    }
}

// Page script's window.open and window.close arrive as dispatches with these texts, exactly as a
// popup the engine refused does.
void ParseDispatch(const std::wstring& payload, CTypedEvent& event)
{
    std::wstring address;
    if (TakePrefix(payload, L"windowOpen:", address)) {
        event.kind = PH_EVENT_POPUP;
        event.text = address;
    } else if (payload == L"windowClose") {
        event.kind = PH_EVENT_WINDOW_CLOSE;
    } else {
        event.kind = PH_EVENT_SCRIPT_DISPATCH;
        event.text = payload;
    }
}

} // namespace

CTypedEvent ParseEventText(const std::wstring& raw)
{
    struct CPrefix {
        const wchar_t* prefix;
        ph_event_kind kind;
    };
    static const CPrefix kPrefixes[] = {
        {L"browserCreated:", PH_EVENT_BROWSER_CREATED},
        {L"address:", PH_EVENT_ADDRESS},
        {L"loadStart:", PH_EVENT_LOAD_START},
        {L"loadEnd:", PH_EVENT_LOAD_END},
        {L"loadError:", PH_EVENT_LOAD_ERROR},
        {L"JSDispatch:", PH_EVENT_SCRIPT_DISPATCH},
        {L"addinTrace:", PH_EVENT_TRACE},
        {L"alert:", PH_EVENT_ALERT},
        {L"confirm:", PH_EVENT_CONFIRM},
        {L"prompt:", PH_EVENT_PROMPT},
        {L"fileDialog:", PH_EVENT_FILE_DIALOG},
    };
    CTypedEvent event;
    event.raw = raw;
    for (const CPrefix& prefix : kPrefixes) {
        std::wstring payload;
        if (!TakePrefix(raw, prefix.prefix, payload))
            continue;
        event.kind = prefix.kind;
        switch (prefix.kind) {
        case PH_EVENT_LOAD_END: event.value = ParseNumber(payload); break;
        case PH_EVENT_SCRIPT_DISPATCH: ParseDispatch(payload, event); break;
        case PH_EVENT_PROMPT: {
            // The default text follows the last "~", and only when there is one.
            const size_t tilde = payload.rfind(L'~');
            event.text = payload.substr(0, tilde);
            if (tilde != std::wstring::npos)
                event.defaultText = payload.substr(tilde + 1);
            break;
        }
        case PH_EVENT_FILE_DIALOG: ParseFileDialog(payload, event); break;
        default: event.text = payload; break;
        }
        return event;
    }
    return event;
}

} // namespace NsClient
