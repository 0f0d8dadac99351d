// The Win32 subset: the types, handles and constants of the Windows API that
// the plug-in and the platform layers use, with their Windows values.
//
// Handles are opaque pointer types that nothing here dereferences; each kind
// is a type of its own, so a menu cannot be passed where a window is wanted.
// The functions of the subset (message queue, hooks, keyboard state, window
// registry) sit behind this header as well; a real platform includes the
// system headers here instead.
//
// Included by the plug-in and the platform layers only, never by the system's
// public headers: its global names stay out of the numeric code.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

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
using HWND = HWND__*;
using HMENU = HMENU__*;
using HHOOK = HHOOK__*;
using HDC = HDC__*;
using HGLRC = HGLRC__*;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

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
