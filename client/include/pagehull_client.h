#ifndef PAGEHULL_CLIENT_H
#define PAGEHULL_CLIENT_H

/*
 * The add-in's side of Pagehull.exe: start a host (or attach to one), learn what happens in its
 * page, read its frames, and send it input and commands.
 *
 * Calling convention: every function is __cdecl and exported under its plain name from
 * PagehullClient.dll. Texts are UTF-16 (wchar_t), NUL-terminated.
 *
 * Statuses: every function returns a ph_status; PH_OK is 0. ph_status_text turns any value into
 * a short English text. Nothing throws out of the library, and every call that can wait takes a
 * time-out in milliseconds (PH_WAIT_FOREVER is not offered; pass a large value instead).
 *
 * Sessions: one ph_session per host. The handle is opaque and never reused, so a call on a
 * closed (or never opened) handle returns PH_BAD_SESSION instead of touching freed memory.
 *
 * Threads: a session's calls may come from any thread, with these rules:
 *  - ph_wait: one thread at a time per session (the thread that learns what happens);
 *  - commands, queries, ph_copy_frame and ph_forward_input: any thread, also at once; the
 *    commands of one thread reach the host in the order that thread made them;
 *  - ph_close: any thread, once; a ph_wait waiting on another thread returns PH_CLOSED at
 *    once, other calls still running finish within their own time-outs before the session's
 *    resources go.
 * ph_forward_input reads the calling thread's keyboard state: call it on the window's thread.
 *
 * Ownership: the caller owns every buffer it passes in. Texts that ph_wait returns in a
 * ph_event belong to the session and stay valid until the next ph_wait or ph_close of that
 * session.
 *
 * The host's end: a host that this library started belongs to the session. ph_close asks it to
 * close, waits for it within the given time, and ends it when it does not. A host started by
 * ph_start also sits in a job object that ends it (with every process it started) the moment
 * the add-in's process goes away without closing the session, crashes included.
 */

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef PAGEHULL_CLIENT_BUILD
#define PH_API __declspec(dllexport)
#else
#define PH_API __declspec(dllimport)
#endif
#define PH_CALL __cdecl

typedef struct ph_session ph_session;

typedef enum ph_status {
    PH_OK = 0,
    PH_TIMEOUT = 1, /* nothing came within the time-out */
    PH_HOST_ENDED = 2, /* the host's process has ended, or its end of the pipe is gone */
    PH_BAD_SESSION = 3, /* a null session, or one already closed */
    PH_BAD_ARGUMENT = 4, /* a null pointer, a struct of unknown size, a value out of range */
    PH_INDEX_TAKEN = 5, /* another channel of this process uses the instance index */
    PH_HOST_NOT_STARTED = 6, /* the host's program could not be started (missing, not a program) */
    PH_NO_HOST = 7, /* no host has opened its end of the channel (yet, or in time) */
    PH_CHANNEL_FAILED = 8, /* the channel's shared objects could not be created */
    PH_SEND_FAILED = 9, /* a command could not be written: the pipe broke or stayed full */
    PH_BUFFER_TOO_SMALL = 10, /* the caller's buffer is too small; the size needed was given */
    PH_NO_FRAME = 11, /* the host has not published a frame yet */
    PH_TEXT_TOO_LONG = 12, /* a text does not fit its command, or holds a separator it may not */
    PH_CLOSED = 13, /* the session was closed while the call ran */
    PH_SYSTEM_ERROR = 14 /* out of memory, or a system call failed unexpectedly */
} ph_status;

/* A short English text for the status; never null, static. */
PH_API const char* PH_CALL ph_status_text(ph_status status);

/* ---- Sessions -------------------------------------------------------------------------- */

/* ph_open's index when any free one will do. -1 is never a channel's index. */
#define PH_ANY_INDEX (-1)

typedef struct ph_start_options {
    uint32_t size; /* sizeof(ph_start_options): the struct's version */
    const wchar_t* host_path; /* Pagehull.exe, a full path */
    const wchar_t* address; /* the page to open first */
    /* further arguments of the host (CEF's switches), each one argument, quoted by the library;
       null when switch_count is 0 */
    const wchar_t* const* switches;
    uint32_t switch_count;
    uint32_t timeout_ms; /* how long the host may take to open its end of the channel */
} ph_start_options;

/* Opens a channel under this process's id and a free instance index, starts the host with
 * --idx, --pid, the switches and the address, and waits until it has opened the pipe: ph_open
 * and ph_launch in one.
 * On success *session is the new session; otherwise it is null and nothing is left running.
 * PH_HOST_NOT_STARTED: the program is missing; PH_NO_HOST: it ended or never opened the pipe.
 * Any thread. */
PH_API ph_status PH_CALL ph_start(const ph_start_options* options, ph_session** session);

/* Starts the host for a session from ph_open (options as for ph_start) and waits until it has
 * opened the pipe. Any thread. */
PH_API ph_status PH_CALL ph_launch(ph_session* session, const ph_start_options* options);

/* For a host that someone else starts: opens the channel under this process's id and the given
 * index (or a free one with PH_ANY_INDEX) without starting anything. Start the host with
 * --pid=<this process's id> --idx=<ph_get_index>, then call ph_attach. Any thread. */
PH_API ph_status PH_CALL ph_open(int32_t index, ph_session** session);
PH_API ph_status PH_CALL ph_get_index(ph_session* session, int32_t* index);
/* Waits until the host has opened its end of the pipe. With a process id (0 when unknown) the
 * session also watches that process and reports its end with the exit code. Any thread. */
PH_API ph_status PH_CALL ph_attach(ph_session* session, uint32_t host_process_id, uint32_t timeout_ms);
/* The host's process id, 0 when the session knows none. Any thread. */
PH_API ph_status PH_CALL ph_get_host_process_id(ph_session* session, uint32_t* process_id);

/* Ends the session: a running host is sent the close command and waited for up to timeout_ms,
 * then ended; the channel is released and the handle becomes invalid. A null session is
 * PH_BAD_SESSION. Any thread; never twice for one session. */
PH_API ph_status PH_CALL ph_close(ph_session* session, uint32_t timeout_ms);

/* ---- What happens: the wait ------------------------------------------------------------- */

typedef enum ph_event_kind {
    PH_EVENT_FRAME = 1, /* a new frame: width, height; read it with ph_copy_frame */
    PH_EVENT_BROWSER_CREATED = 2, /* the browser exists */
    PH_EVENT_ADDRESS = 3, /* text: the new address (of any frame of the page) */
    PH_EVENT_LOAD_START = 4,
    PH_EVENT_LOAD_END = 5, /* value: the response's status code */
    PH_EVENT_LOAD_ERROR = 6, /* text: the engine's error text */
    PH_EVENT_SCRIPT_DISPATCH = 7, /* text: what page script gave brelvo.Mevora.dispatchEvent */
    PH_EVENT_TRACE = 8, /* text: what page script gave brelvo.Mevora.addinTrace */
    PH_EVENT_POPUP = 9, /* text: the address the page wants opened in a new window */
    PH_EVENT_WINDOW_CLOSE = 10, /* page script called window.close() */
    PH_EVENT_ALERT = 11, /* text: the message; already answered, nothing to do */
    PH_EVENT_CONFIRM = 12, /* text: the message; answer with ph_answer_script_dialog */
    /* text: the message, default_text: the proposed input (split at the last "~"); answer with
       ph_answer_script_dialog */
    PH_EVENT_PROMPT = 13,
    /* value: the mode (0 open, 1 open several, 2 folder, 3 save, with any flag bits), text: the
       title, default_text: the default file name, filters: the accepted types; answer with
       ph_answer_file_dialog */
    PH_EVENT_FILE_DIALOG = 14,
    PH_EVENT_OTHER = 15, /* an event text of no known kind: see raw */
    /* value: the host's exit code (-1 when unknown); every later wait reports it again. Only for
       a host whose process the session knows (ph_start, or ph_attach with its id). */
    PH_EVENT_HOST_ENDED = 16
} ph_event_kind;

typedef struct ph_event {
    uint32_t size; /* set by the caller: sizeof(ph_event) */
    ph_event_kind kind;
    const wchar_t* raw; /* the event text as the host sent it ("" for frames, end) */
    const wchar_t* text; /* "" when the kind has none */
    const wchar_t* default_text; /* "" when the kind has none */
    int32_t value;
    int32_t width; /* PH_EVENT_FRAME */
    int32_t height;
    const wchar_t* const* filters; /* PH_EVENT_FILE_DIALOG; null when filter_count is 0 */
    uint32_t filter_count;
} ph_event;

/* The next thing that happened, in the order the host reported it. Frames are coalesced: one
 * PH_EVENT_FRAME stands for every frame published since the last one was reported.
 * PH_TIMEOUT when nothing came within timeout_ms. One thread at a time. */
PH_API ph_status PH_CALL ph_wait(ph_session* session, ph_event* event, uint32_t timeout_ms);

/* ---- Frames ------------------------------------------------------------------------------ */

/* Copies the latest frame (32-bit BGRA, rows top-down, 4 × width bytes a row) into pixels.
 * *width, *height and *byte_count are always set when the frame could be read; with a null
 * buffer or one smaller than *byte_count the call returns PH_BUFFER_TOO_SMALL and copies
 * nothing. The frame is read under the channel's frame mutex, which this call waits for at most
 * 500 ms (the host never holds it longer), so it may return PH_TIMEOUT. Any thread. */
PH_API ph_status PH_CALL ph_copy_frame(ph_session* session, void* pixels, uint32_t capacity, int32_t* width,
                                       int32_t* height, uint32_t* byte_count);

/* ---- Commands ---------------------------------------------------------------------------- */

/* Every command waits at most timeout_ms for room in the pipe. The host acknowledges none of
 * them; what they cause is reported through ph_wait. Coordinates are view pixels; modifiers are
 * the host's event flags (PH_FLAG_*). Any thread. */

#define PH_FLAG_CAPS_LOCK_ON 1
#define PH_FLAG_SHIFT_DOWN 2
#define PH_FLAG_CONTROL_DOWN 4
#define PH_FLAG_ALT_DOWN 8
#define PH_FLAG_LEFT_MOUSE_BUTTON 16
#define PH_FLAG_MIDDLE_MOUSE_BUTTON 32
#define PH_FLAG_RIGHT_MOUSE_BUTTON 64
#define PH_FLAG_NUM_LOCK_ON 256

typedef enum ph_mouse_button { PH_BUTTON_LEFT = 0, PH_BUTTON_RIGHT = 1 } ph_mouse_button;
typedef enum ph_key_kind { PH_KEY_DOWN = 0, PH_KEY_UP = 1, PH_KEY_CHAR = 2 } ph_key_kind;

PH_API ph_status PH_CALL ph_mouse_move(ph_session* session, int32_t x, int32_t y, int32_t modifiers,
                                       uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_mouse_click(ph_session* session, int32_t x, int32_t y, ph_mouse_button button, int32_t down,
                                        int32_t modifiers, uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_mouse_wheel(ph_session* session, int32_t x, int32_t y, int32_t delta_x, int32_t delta_y,
                                        int32_t modifiers, uint32_t timeout_ms);
/* key_code: a virtual-key code for PH_KEY_DOWN and PH_KEY_UP, a UTF-16 code unit for
 * PH_KEY_CHAR. The host takes the modifiers from its own keyboard state. */
PH_API ph_status PH_CALL ph_key(ph_session* session, ph_key_kind kind, int32_t key_code, int32_t system_key,
                                uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_focus(ph_session* session, int32_t focused, uint32_t timeout_ms);
/* At most 1920 × 1080: the host publishes no larger frame. */
PH_API ph_status PH_CALL ph_resize(ph_session* session, int32_t width, int32_t height, uint32_t timeout_ms);
/* At most 2,048 code units. */
PH_API ph_status PH_CALL ph_load_url(ph_session* session, const wchar_t* url, uint32_t timeout_ms);
/* At most 2,048 code units. */
PH_API ph_status PH_CALL ph_execute_script(ph_session* session, const wchar_t* script, uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_go_back(ph_session* session, uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_go_forward(ph_session* session, uint32_t timeout_ms);
/* The answer to PH_EVENT_CONFIRM or PH_EVENT_PROMPT; input (may be null) is the prompt's
 * text, at most 2,047 code units. */
PH_API ph_status PH_CALL ph_answer_script_dialog(ph_session* session, int32_t accepted, const wchar_t* input,
                                                 uint32_t timeout_ms);
/* The answer to PH_EVENT_FILE_DIALOG: the chosen paths (none of them may hold "|"), at most
 * 2,047 code units together with their separators; accepted 0 cancels. */
PH_API ph_status PH_CALL ph_answer_file_dialog(ph_session* session, int32_t accepted, const wchar_t* const* paths,
                                               uint32_t path_count, uint32_t timeout_ms);
/* Asks the host to close; its end is reported by ph_wait. The session stays open. */
PH_API ph_status PH_CALL ph_close_host(ph_session* session, uint32_t timeout_ms);

/* ---- Queries: each waits at most timeout_ms for the host's reply --------------------------- */

PH_API ph_status PH_CALL ph_can_go_back(ph_session* session, int32_t* result, uint32_t timeout_ms);
PH_API ph_status PH_CALL ph_can_go_forward(ph_session* session, int32_t* result, uint32_t timeout_ms);
/* The page's address into buffer (capacity in code units, with its NUL); *length is always set
 * to the address's length without the NUL. A buffer too small gets PH_BUFFER_TOO_SMALL. */
PH_API ph_status PH_CALL ph_get_url(ph_session* session, wchar_t* buffer, uint32_t capacity, uint32_t* length,
                                    uint32_t timeout_ms);

/* ---- A window's input -------------------------------------------------------------------- */

/* Turns one message of the window that shows the page into the commands it stands for, and sends
 * them: WM_MOUSEMOVE, WM_[LR]BUTTON(DOWN|UP|DBLCLK), WM_MOUSEWHEEL, WM_MOUSEHWHEEL (screen
 * coordinates, made client ones with window), WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN,
 * WM_SYSKEYUP, WM_SYSCHAR, WM_SETFOCUS, WM_KILLFOCUS and WM_SIZE (a resize to the client size,
 * at most 1920 × 1080; minimizing sends nothing). Mouse messages carry the modifiers that the
 * host's own window would give them, from the calling thread's keyboard state. *handled (may be
 * null) tells whether the message was one of these; others return PH_OK and send nothing.
 * The window's thread. */
PH_API ph_status PH_CALL ph_forward_input(ph_session* session, void* window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam, uint32_t timeout_ms, int32_t* handled);

#ifdef __cplusplus
}
#endif

#endif
