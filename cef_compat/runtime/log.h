// The runtime's own log: lines at or above the configured severity go to the log file;
// LOGSEVERITY_DISABLE writes nothing at all.
#pragma once

#include <string>

#include "include/internal/cef_types.h"

namespace cefcompat {

// An empty |path| means "debug.log" beside the executable. LOGSEVERITY_DEFAULT means INFO.
void ConfigureLog(cef_log_severity_t severity, const std::wstring& path);
cef_log_severity_t LogSeverity();
std::wstring LogPath();
void LogMessage(cef_log_severity_t severity, const std::string& utf8Text);

// Command-line spelling of the severity, shared with sub-processes ("disable", "info", ...).
std::string SeverityName(cef_log_severity_t severity);
cef_log_severity_t SeverityFromName(const std::string& name);

} // namespace cefcompat
