#include "DriveScript.h"

#include <cerrno>
#include <cwchar>
#include <sstream>

using NsChannel::Command;

namespace {

// Splits off the verb; `rest` keeps the remainder as written (texts may hold spaces).
void SplitVerb(const std::wstring& line, std::wstring& verb, std::wstring& rest)
{
    verb.clear();
    rest.clear();
    const size_t start = line.find_first_not_of(L" \t");
    if (start == std::wstring::npos)
        return;
    const size_t end = line.find_first_of(L" \t", start);
    verb = line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const size_t restStart = end == std::wstring::npos ? std::wstring::npos : line.find_first_not_of(L" \t", end);
    rest = restStart == std::wstring::npos ? std::wstring() : line.substr(restStart);
    while (!rest.empty() && (rest.back() == L' ' || rest.back() == L'\t' || rest.back() == L'\r'))
        rest.pop_back();
}

std::vector<std::wstring> Words(const std::wstring& text)
{
    std::wistringstream stream(text);
    std::vector<std::wstring> words;
    for (std::wstring word; stream >> word;)
        words.push_back(word);
    return words;
}

bool ParseInt(const std::wstring& word, int32_t& value)
{
    if (word.empty())
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long long parsed = std::wcstoll(word.c_str(), &end, 0);
    if (errno != 0 || *end != L'\0' || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

std::u16string ToUtf16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

// Reads the integers of `words` from `first` on into `fields`; `optional` of them at the end
// may be missing and keep their value.
bool ParseInts(const std::vector<std::wstring>& words, size_t first, std::vector<int32_t*> fields, size_t optional)
{
    const size_t given = words.size() - first;
    if (given > fields.size() || given + optional < fields.size())
        return false;
    for (size_t i = 0; i < given; ++i)
        if (!ParseInt(words[first + i], *fields[i]))
            return false;
    return true;
}

class CStepParser {
public:
    CStepParser(std::vector<DriveStep>& steps, std::wstring& error) : m_steps(steps), m_error(error) {}

    bool Parse(const std::wstring& verb, const std::wstring& rest)
    {
        const std::vector<std::wstring> words = Words(rest);
        if (verb == L"move")
            return Move(words);
        if (verb == L"down" || verb == L"up" || verb == L"click")
            return Click(verb, words);
        if (verb == L"wheel")
            return Wheel(words);
        if (verb == L"key")
            return Key(words);
        if (verb == L"type")
            return Type(rest);
        if (verb == L"focus")
            return Focus(words);
        if (verb == L"back" || verb == L"forward")
            return Bare(verb == L"back" ? NsChannel::CMD_GO_BACK : NsChannel::CMD_GO_FORWARD, words);
        if (verb == L"load" || verb == L"script")
            return Text(verb == L"load" ? NsChannel::CMD_LOAD_URL : NsChannel::CMD_EXECUTE_SCRIPT, rest);
        if (verb == L"resize")
            return Resize(words);
        if (verb == L"dialog")
            return Dialog(rest);
        if (verb == L"files")
            return Files(rest);
        if (verb == L"close")
            return Close(words);
        if (verb == L"can-go-back" || verb == L"can-go-forward")
            return FlagQuery(verb == L"can-go-back" ? NsChannel::CMD_CAN_GO_BACK : NsChannel::CMD_CAN_GO_FORWARD,
                             words);
        if (verb == L"url")
            return UrlQuery(rest);
        if (verb == L"wait")
            return Wait(rest);
        if (verb == L"frame")
            return Frame(words);
        if (verb == L"png")
            return Png(rest);
        if (verb == L"timeout")
            return Timeout(words);
        if (verb == L"page")
            return Page(rest);
        return Fail(L"unknown step '" + verb + L"'");
    }

private:
    bool Fail(const std::wstring& message)
    {
        m_error = message;
        return false;
    }

    bool Add(StepKind kind, std::vector<Command> commands = {})
    {
        DriveStep step;
        step.kind = kind;
        step.commands = std::move(commands);
        m_steps.push_back(std::move(step));
        return true;
    }

    bool Move(const std::vector<std::wstring>& words)
    {
        Command move;
        move.code = NsChannel::CMD_MOUSE_MOVE;
        if (!ParseInts(words, 0, {&move.x, &move.y, &move.modifiers}, 1))
            return Fail(L"usage: move X Y [MODIFIERS]");
        return Add(StepKind::Send, {move});
    }

    bool Click(const std::wstring& verb, std::vector<std::wstring> words)
    {
        Command click;
        click.code = NsChannel::CMD_MOUSE_CLICK;
        click.leftButton = true;
        if (words.size() >= 3 && (words[2] == L"left" || words[2] == L"right")) {
            click.leftButton = words[2] == L"left";
            words.erase(words.begin() + 2);
        }
        if (!ParseInts(words, 0, {&click.x, &click.y, &click.modifiers}, 1))
            return Fail(L"usage: " + verb + L" X Y [left|right] [MODIFIERS]");
        Command down = click;
        down.buttonDown = true;
        if (verb == L"down")
            return Add(StepKind::Send, {down});
        if (verb == L"up")
            return Add(StepKind::Send, {click});
        return Add(StepKind::Send, {down, click});
    }

    bool Wheel(const std::vector<std::wstring>& words)
    {
        Command wheel;
        wheel.code = NsChannel::CMD_MOUSE_WHEEL;
        if (!ParseInts(words, 0, {&wheel.x, &wheel.y, &wheel.deltaX, &wheel.deltaY, &wheel.modifiers}, 1))
            return Fail(L"usage: wheel X Y DELTA_X DELTA_Y [MODIFIERS]");
        return Add(StepKind::Send, {wheel});
    }

    bool Key(const std::vector<std::wstring>& words)
    {
        Command key;
        key.code = NsChannel::CMD_KEY;
        if (words.empty() || words.size() > 3 || !ParseInt(words[0], key.keyCode))
            return Fail(L"usage: key CODE [press|down|up|char] [sys]");
        const std::wstring how = words.size() >= 2 ? words[1] : L"press";
        if (words.size() == 3) {
            if (words[2] != L"sys")
                return Fail(L"usage: key CODE [press|down|up|char] [sys]");
            key.systemKey = true;
        }
        Command down = key;
        down.keyDown = true;
        Command up = key;
        up.keyUp = true;
        if (how == L"press")
            return Add(StepKind::Send, {down, up});
        if (how == L"down")
            return Add(StepKind::Send, {down});
        if (how == L"up")
            return Add(StepKind::Send, {up});
        if (how == L"char")
            return Add(StepKind::Send, {key});
        return Fail(L"usage: key CODE [press|down|up|char] [sys]");
    }

    // Each code unit becomes one character event carrying it as its key code.
    bool Type(const std::wstring& text)
    {
        if (text.empty())
            return Fail(L"usage: type TEXT");
        std::vector<Command> commands;
        for (const wchar_t unit : text) {
            Command key;
            key.code = NsChannel::CMD_KEY;
            key.keyCode = static_cast<int32_t>(static_cast<uint16_t>(unit));
            commands.push_back(key);
        }
        return Add(StepKind::Send, std::move(commands));
    }

    bool Focus(const std::vector<std::wstring>& words)
    {
        if (words.size() != 1 || (words[0] != L"on" && words[0] != L"off"))
            return Fail(L"usage: focus on|off");
        Command focus;
        focus.code = NsChannel::CMD_FOCUS;
        focus.focused = words[0] == L"on";
        return Add(StepKind::Send, {focus});
    }

    bool Bare(NsChannel::CommandCode code, const std::vector<std::wstring>& words)
    {
        if (!words.empty())
            return Fail(L"this step takes no arguments");
        Command command;
        command.code = code;
        return Add(StepKind::Send, {command});
    }

    bool Checked(Command command)
    {
        NsChannel::CommandRecord record;
        if (!NsChannel::EncodeCommand(command, record))
            return Fail(L"text too long for one command (at most 2,048 characters)");
        return Add(StepKind::Send, {std::move(command)});
    }

    bool Text(NsChannel::CommandCode code, const std::wstring& text)
    {
        if (text.empty())
            return Fail(code == NsChannel::CMD_LOAD_URL ? L"usage: load ADDRESS" : L"usage: script TEXT");
        Command command;
        command.code = code;
        command.text = ToUtf16(text);
        return Checked(std::move(command));
    }

    bool Resize(const std::vector<std::wstring>& words)
    {
        Command resize;
        resize.code = NsChannel::CMD_RESIZE;
        if (!ParseInts(words, 0, {&resize.width, &resize.height}, 0))
            return Fail(L"usage: resize WIDTH HEIGHT");
        return Add(StepKind::Send, {resize});
    }

    // "dialog ok [TEXT]" or "dialog cancel"; "files ok PATH[|PATH...]" or "files cancel".
    bool Answer(NsChannel::CommandCode code, const std::wstring& rest, const wchar_t* usage)
    {
        std::wstring answer;
        std::wstring text;
        SplitVerb(rest, answer, text);
        if (answer != L"ok" && !(answer == L"cancel" && text.empty()))
            return Fail(usage);
        Command command;
        command.code = code;
        command.answer = answer == L"ok";
        command.text = ToUtf16(text);
        return Checked(std::move(command));
    }

    bool Dialog(const std::wstring& rest)
    {
        return Answer(NsChannel::CMD_JS_DIALOG_REPLY, rest, L"usage: dialog ok [TEXT] | dialog cancel");
    }

    bool Files(const std::wstring& rest)
    {
        return Answer(NsChannel::CMD_FILE_DIALOG_REPLY, rest, L"usage: files ok PATH[|PATH...] | files cancel");
    }

    bool Close(const std::vector<std::wstring>& words)
    {
        if (!words.empty())
            return Fail(L"close takes no arguments");
        Command close;
        close.code = NsChannel::CMD_CLOSE;
        return Add(StepKind::Close, {close});
    }

    bool FlagQuery(NsChannel::CommandCode code, const std::vector<std::wstring>& words)
    {
        if (words.size() > 1 || (words.size() == 1 && words[0] != L"true" && words[0] != L"false"))
            return Fail(L"usage: can-go-back|can-go-forward [true|false]");
        Command query;
        query.code = code;
        Add(StepKind::Query, {query});
        m_steps.back().pattern = words.empty() ? L"" : words[0];
        return true;
    }

    bool UrlQuery(const std::wstring& pattern)
    {
        Command query;
        query.code = NsChannel::CMD_GET_URL;
        Add(StepKind::Query, {query});
        m_steps.back().pattern = pattern;
        return true;
    }

    bool Wait(const std::wstring& pattern)
    {
        if (pattern.empty())
            return Fail(L"usage: wait PATTERN");
        Add(StepKind::WaitEvent);
        m_steps.back().pattern = pattern;
        return true;
    }

    // "frame" or "frame WIDTH HEIGHT".
    bool Frame(const std::vector<std::wstring>& words)
    {
        int32_t width = 0;
        int32_t height = 0;
        if (!words.empty() && (!ParseInts(words, 0, {&width, &height}, 0) || width <= 0 || height <= 0))
            return Fail(L"usage: frame [WIDTH HEIGHT]");
        Add(StepKind::WaitFrame);
        m_steps.back().width = width;
        m_steps.back().height = height;
        return true;
    }

    bool Simple(StepKind kind, const std::vector<std::wstring>& words)
    {
        if (!words.empty())
            return Fail(L"this step takes no arguments");
        return Add(kind);
    }

    bool Page(const std::wstring& request)
    {
        if (request.empty())
            return Fail(L"usage: page REQUEST");
        Add(StepKind::Page);
        m_steps.back().pattern = request;
        return true;
    }

    bool Png(const std::wstring& path)
    {
        if (path.empty())
            return Fail(L"usage: png FILE");
        Add(StepKind::SavePng);
        m_steps.back().path = path;
        return true;
    }

    bool Timeout(const std::vector<std::wstring>& words)
    {
        int32_t milliseconds = 0;
        if (words.size() != 1 || !ParseInt(words[0], milliseconds) || milliseconds <= 0)
            return Fail(L"usage: timeout MILLISECONDS");
        Add(StepKind::Timeout);
        m_steps.back().timeoutMs = static_cast<uint32_t>(milliseconds);
        return true;
    }

    std::vector<DriveStep>& m_steps;
    std::wstring& m_error;
};

} // namespace

bool ParseStep(const std::wstring& line, std::vector<DriveStep>& steps, std::wstring& error)
{
    const size_t start = line.find_first_not_of(L" \t\r");
    if (start == std::wstring::npos || line[start] == L'#')
        return true;
    std::wstring verb;
    std::wstring rest;
    SplitVerb(line, verb, rest);
    std::vector<DriveStep> parsed;
    if (!CStepParser(parsed, error).Parse(verb, rest))
        return false;
    steps.insert(steps.end(), parsed.begin(), parsed.end());
    return true;
}

bool GlobMatch(const std::wstring& pattern, const std::wstring& text)
{
    size_t p = 0;
    size_t t = 0;
    size_t starAt = std::wstring::npos;
    size_t resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starAt = p++;
            resumeAt = t;
        } else if (starAt != std::wstring::npos) {
            p = starAt + 1;
            t = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

const wchar_t* StepSyntax()
{
    return L"Steps (one per line or argument; '#' starts a comment):\n"
           L"  move X Y [MODS]                 mouse move\n"
           L"  click|down|up X Y [left|right] [MODS]\n"
           L"  wheel X Y DX DY [MODS]\n"
           L"  key CODE [press|down|up|char] [sys]\n"
           L"  type TEXT                       one character event per character\n"
           L"  focus on|off\n"
           L"  back | forward\n"
           L"  load ADDRESS\n"
           L"  script TEXT\n"
           L"  resize WIDTH HEIGHT\n"
           L"  dialog ok [TEXT] | dialog cancel\n"
           L"  files ok PATH[|PATH...] | files cancel\n"
           L"  can-go-back [true|false]        prints canGoBack: ..., checks it if given\n"
           L"  can-go-forward [true|false]     prints canGoForward: ...\n"
           L"  url [PATTERN]                   prints url: ..., checks it if given\n"
           L"  wait PATTERN                    next event text matching PATTERN (* and ?)\n"
           L"  frame [WIDTH HEIGHT]            a frame newer than the last one waited for (of that size)\n"
           L"  png FILE                        the last frame as a PNG picture\n"
           L"  timeout MILLISECONDS            time limit of every later wait\n"
           L"  page REQUEST                    makes the page act through the scripted engine's\n"
           L"                                  control pipe (this project's runtime only)\n"
           L"  close                           close command, then the host's end\n";
}
