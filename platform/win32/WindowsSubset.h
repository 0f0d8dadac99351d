// The Win32 subset: the types, handles and constants of the Windows API that
// the plug-in and the platform layers use, with their Windows values.
//
// Handles are opaque pointer types that callers never dereference; each kind
// is a type of its own, so a menu cannot be passed where a window is wanted.
// Behind the functions below stand the layer's own stand-ins: a message
// queue and WH_GETMESSAGE hook chain per thread, a window registry and key
// table the host fills (platform/win32/Win32Host.h), the last error of each
// thread with its text, and path helpers. A real platform includes the
// system headers here instead.
//
// Threads: queues, hook chains and last errors are per thread; windows, the
// key table and the module paths are process-wide and belong to the host's
// user-interface thread.
//
// Included by the plug-in and the platform layers only, never by the system's
// public headers: its global names stay out of the numeric code.
#pragma once

#include <cstddef>
#include <cstdint>

#define CALLBACK
#define WINAPI

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LPCSTR = const char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct HWND__;
struct HMENU__;
struct HHOOK__;
struct HDC__;
struct HGLRC__;
struct HINSTANCE__;
struct HRGN__;
using HWND = HWND__*;
using HMENU = HMENU__*;
using HHOOK = HHOOK__*;
using HDC = HDC__*;
using HGLRC = HGLRC__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HRGN = HRGN__*;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

// Message-box answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message-box buttons (the low four bits) and icons (the next four).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;

// ---- Messages, keys and mouse ----

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_USER = 0x0400;

constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_DELETE = 0x2E;

// Mouse-message key flags.
constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;
constexpr UINT MK_MBUTTON = 0x0010;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Hooks: the message-retrieval hook and its action code.
constexpr int WH_GETMESSAGE = 3;
constexpr int HC_ACTION = 0;
using HOOKPROC = LRESULT(CALLBACK*)(int code, WPARAM wParam, LPARAM lParam);

// Button and combo-box notifications and messages, progress-bar messages.
constexpr UINT BN_CLICKED = 0;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr int CB_ERR = -1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_GETRANGE = WM_USER + 7;
constexpr UINT PBM_SETRANGE32 = WM_USER + 6;
constexpr UINT PBM_GETPOS = WM_USER + 8;

constexpr int IDABORT = 3;
constexpr int IDC_STATIC = -1;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Menu items and pop-up tracking.
constexpr UINT MF_BYCOMMAND = 0x00000000;
constexpr UINT MF_STRING = 0x00000000;
constexpr UINT MF_ENABLED = 0x00000000;
constexpr UINT MF_GRAYED = 0x00000001;
constexpr UINT MF_DISABLED = 0x00000002;
constexpr UINT MF_POPUP = 0x00000010;
constexpr UINT MF_BYPOSITION = 0x00000400;
constexpr UINT MF_SEPARATOR = 0x00000800;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// File dialogs.
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// RedrawWindow flags.
constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_INTERNALPAINT = 0x0002;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
constexpr UINT RDW_NOERASE = 0x0020;
constexpr UINT RDW_NOCHILDREN = 0x0040;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_ERASENOW = 0x0200;
constexpr UINT RDW_FRAME = 0x0400;
constexpr UINT RDW_NOFRAME = 0x0800;

// Last-error codes the layers set, and FormatMessageW flags.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_MENU_HANDLE = 1401;
constexpr DWORD ERROR_INVALID_HOOK_HANDLE = 1404;
constexpr DWORD ERROR_INVALID_HOOK_FILTER = 1426;
constexpr DWORD ERROR_INVALID_OPERATION = 4317;
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// Path-part sizes of _splitpath, terminating zero included.
constexpr std::size_t _MAX_PATH = 260;
constexpr std::size_t _MAX_DRIVE = 3;
constexpr std::size_t _MAX_DIR = 256;
constexpr std::size_t _MAX_FNAME = 256;
constexpr std::size_t _MAX_EXT = 256;

inline WORD LOWORD(std::uintptr_t value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
inline WORD HIWORD(std::uintptr_t value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
inline WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

// ---- The message queue and hooks of the calling thread ----

// Installs a WH_GETMESSAGE hook for the calling thread (threadId 0 or the
// calling thread's id; module ignored). The newest hook runs first. Null,
// with the last error set, for another hook type, a null procedure or
// another thread.
HHOOK SetWindowsHookExW(int idHook, HOOKPROC procedure, HINSTANCE module, DWORD threadId);
// Removes a hook; safe inside the hook's own call (the running chain goes
// on past it). FALSE for an unknown handle.
BOOL UnhookWindowsHookEx(HHOOK hook);
// Calls the next hook of the chain that is running (the handle is not
// needed to find it, as on Windows); 0 when no hook follows.
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);

// Appends a message to the calling thread's queue; a null window posts a
// message for the thread. FALSE for a window that does not exist.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Takes the first message for window (null: any) whose id lies in
// [filterMin, filterMax] (both 0: any). The WH_GETMESSAGE hooks see it with
// code HC_ACTION, wParam the removal flag and lParam the MSG, and may change
// it; with PM_REMOVE it leaves the queue. FALSE when none waits.
BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Key messages need no translation here: no character messages are made.
// TRUE for a key message, else FALSE.
BOOL TranslateMessage(const MSG* message);
// Hands a message to its window's procedure; 0 for a thread message or a
// window that is gone.
LRESULT DispatchMessageW(const MSG* message);
// Calls the window's procedure at once and returns its result; a null or
// unknown window does nothing and returns 0.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Windows and keys, as the host registered them ----

// The high bit of each byte is set for a held key. TRUE.
BOOL GetKeyboardState(BYTE* keyState);
// The main window, unless a dialog was made active; null without a host.
HWND GetActiveWindow();
BOOL IsWindow(HWND window);
// Moves a point from the window's client area to the screen. FALSE for an
// unknown window.
BOOL ClientToScreen(HWND window, POINT* point);
// Invalidating sends the window WM_PAINT at once with RDW_UPDATENOW or
// RDW_ERASENOW, else posts it for the next turn of the message loop. FALSE
// for an unknown window.
BOOL RedrawWindow(HWND window, const RECT* update, HRGN region, UINT flags);

// ---- Processes, modules and paths ----

DWORD GetCurrentThreadId();
// Records the call (platform/win32/Win32Host.h) and starts nothing. The
// answer is a value above 32, as for a started program; a null file gives
// 2 (file not found).
HINSTANCE ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, int showCommand);
// A module registered by the host under its file name (with or without the
// folder, any case), or null; a null name is the program itself.
HMODULE GetModuleHandleW(LPCWSTR moduleName);
// The full path of a registered module (null: the program). Copies at most
// size - 1 characters and a terminating zero; answers the characters copied
// (size when truncated, with ERROR_INSUFFICIENT_BUFFER), 0 for an unknown
// module.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
// Splits a path into drive ("c:"), folder (with its trailing separator),
// base name and extension (with its dot); either separator counts. Any null
// output is skipped; parts longer than their _MAX_ size are cut to fit.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);

// ---- Errors of the calling thread ----

void SetLastError(DWORD errorCode);
DWORD GetLastError();
// With FORMAT_MESSAGE_FROM_SYSTEM: the text of an error code the layers set,
// ending with a line break. With FORMAT_MESSAGE_ALLOCATE_BUFFER, buffer is
// really an LPWSTR* that receives a new buffer, freed with LocalFree.
// Answers the characters written without the terminating zero, or 0 (with
// the last error set) for an unknown code, another source or a small buffer.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPWSTR buffer, DWORD size, void* arguments);
// Frees a buffer of FormatMessageW; null on success.
void* LocalFree(void* memory);
