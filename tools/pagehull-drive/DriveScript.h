#pragma once

// The driver's script: one step per line, each a verb and its arguments. Parsing turns a line
// into the command records to send, or into a query, a wait or a picture to write.

#include "CommandRecord.h"

#include <cstdint>
#include <string>
#include <vector>

enum class StepKind {
    Send, // commands only
    Query, // one query command, its reply printed and optionally checked
    WaitEvent, // an event text matching a pattern
    WaitFrame, // a frame newer than the last one waited for
    SavePng, // the last frame as a picture
    Close, // the close command, then the host's end
    Timeout, // the time limit of every later wait
    Page, // a request to the scripted engine's control pipe, which makes the page act
};

struct DriveStep {
    StepKind kind = StepKind::Send;
    std::vector<NsChannel::Command> commands;
    // Query: the expected answer ("true"/"false", or a pattern for the address); empty when
    // any answer will do. WaitEvent: the pattern. Page: the request.
    std::wstring pattern;
    std::wstring path;
    uint32_t timeoutMs = 0;
    // WaitFrame: the size the frame must have; 0 for any.
    int32_t width = 0;
    int32_t height = 0;
};

// Parses one line; blank lines and lines starting with '#' give no step. False with a
// message when the line is not a step.
bool ParseStep(const std::wstring& line, std::vector<DriveStep>& steps, std::wstring& error);

// Whole-text match with '*' (any run of characters) and '?' (any one character).
bool GlobMatch(const std::wstring& pattern, const std::wstring& text);

// The steps' syntax, for the usage text.
const wchar_t* StepSyntax();
