#include "runtime/log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "runtime/text.h"
#include "Win32Owners.h"

namespace cefcompat {
namespace {

struct CLogConfig {
    std::mutex mutex;
    cef_log_severity_t severity = LOGSEVERITY_DISABLE;
    std::wstring path;
};

CLogConfig& Config()
{
    static CLogConfig config;
    return config;
}

std::wstring DefaultLogPath()
{
    wchar_t module[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return L"debug.log";
    std::wstring path(module, n);
    const size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + L"debug.log";
}

} // namespace

void ConfigureLog(cef_log_severity_t severity, const std::wstring& path)
{
    CLogConfig& config = Config();
    std::lock_guard<std::mutex> lock(config.mutex);
    config.severity = severity == LOGSEVERITY_DEFAULT ? LOGSEVERITY_INFO : severity;
    config.path = path.empty() ? DefaultLogPath() : path;
}

cef_log_severity_t LogSeverity()
{
    CLogConfig& config = Config();
    std::lock_guard<std::mutex> lock(config.mutex);
    return config.severity;
}

std::wstring LogPath()
{
    CLogConfig& config = Config();
    std::lock_guard<std::mutex> lock(config.mutex);
    return config.path;
}

void LogMessage(cef_log_severity_t severity, const std::string& utf8Text)
{
    CLogConfig& config = Config();
    std::lock_guard<std::mutex> lock(config.mutex);
    if (config.severity == LOGSEVERITY_DISABLE || severity < config.severity)
        return;
    NsWin32::CFileHandle file(CreateFileW(config.path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "[%lu:%lu:%s] ", GetCurrentProcessId(), GetCurrentThreadId(),
                  SeverityName(severity).c_str());
    const std::string line = prefix + utf8Text + "\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string SeverityName(cef_log_severity_t severity)
{
    switch (severity) {
    case LOGSEVERITY_VERBOSE: return "verbose";
    case LOGSEVERITY_INFO: return "info";
    case LOGSEVERITY_WARNING: return "warning";
    case LOGSEVERITY_ERROR: return "error";
    case LOGSEVERITY_DISABLE: return "disable";
    default: return "default";
    }
}

cef_log_severity_t SeverityFromName(const std::string& name)
{
    if (name == "verbose")
        return LOGSEVERITY_VERBOSE;
    if (name == "info")
        return LOGSEVERITY_INFO;
    if (name == "warning")
        return LOGSEVERITY_WARNING;
    if (name == "error")
        return LOGSEVERITY_ERROR;
    if (name == "disable")
        return LOGSEVERITY_DISABLE;
    return LOGSEVERITY_DEFAULT;
}

} // namespace cefcompat
