// Keys, modules, paths, ShellExecuteW and the last error of the Win32
// subset.
#include "platform/win32/Win32Host.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

struct HINSTANCE__ {
    std::wstring path;
};

namespace {

BYTE g_keys[256] = {};
thread_local DWORD t_lastError = ERROR_SUCCESS;

std::vector<Win32Subset::ShellExecuteRecord>& shellLog()
{
    static auto* log = new std::vector<Win32Subset::ShellExecuteRecord>;
    return *log;
}

// Registered modules; never destroyed, as their handles may be asked for
// during static destruction.
std::vector<std::unique_ptr<HINSTANCE__>>& modules()
{
    static auto* registered = new std::vector<std::unique_ptr<HINSTANCE__>>;
    return *registered;
}

std::wstring programPath()
{
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::wstring() : exe.wstring();
}

std::wstring fileNameOf(const std::wstring& path)
{
    std::size_t cut = path.find_last_of(L"/\\");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool sameNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

std::wstring text(LPCWSTR s)
{
    return s ? std::wstring(s) : std::wstring();
}

// Copies part into out (capacity elements with the terminating zero).
template <class Char>
void copyPart(const std::basic_string<Char>& part, Char* out, std::size_t capacity)
{
    if (!out)
        return;
    std::size_t n = std::min(part.size(), capacity - 1);
    std::copy_n(part.begin(), n, out);
    out[n] = Char(0);
}

template <class Char>
void splitPath(const Char* path, Char* drive, Char* dir, Char* fname, Char* ext)
{
    using String = std::basic_string<Char>;
    String rest = path ? String(path) : String();
    String d;
    if (rest.size() >= 2 && rest[1] == Char(':')) {
        d = rest.substr(0, 2);
        rest.erase(0, 2);
    }
    const Char separators[] = {Char('/'), Char('\\'), Char(0)};
    std::size_t slash = rest.find_last_of(separators);
    String folder = slash == String::npos ? String() : rest.substr(0, slash + 1);
    String name = slash == String::npos ? rest : rest.substr(slash + 1);
    std::size_t dot = name.rfind(Char('.'));
    String extension = dot == String::npos ? String() : name.substr(dot);
    if (dot != String::npos)
        name.erase(dot);
    copyPart(d, drive, _MAX_DRIVE);
    copyPart(folder, dir, _MAX_DIR);
    copyPart(name, fname, _MAX_FNAME);
    copyPart(extension, ext, _MAX_EXT);
}

const wchar_t* errorText(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return L"The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
        return L"The system cannot find the file specified.";
    case ERROR_INVALID_HANDLE:
        return L"The handle is invalid.";
    case ERROR_INVALID_PARAMETER:
        return L"The parameter is incorrect.";
    case ERROR_INSUFFICIENT_BUFFER:
        return L"The data area passed to a system call is too small.";
    case ERROR_MOD_NOT_FOUND:
        return L"The specified module could not be found.";
    case ERROR_INVALID_WINDOW_HANDLE:
        return L"Invalid window handle.";
    case ERROR_INVALID_MENU_HANDLE:
        return L"Invalid menu handle.";
    case ERROR_INVALID_HOOK_HANDLE:
        return L"Invalid hook handle.";
    case ERROR_INVALID_HOOK_FILTER:
        return L"Invalid hook procedure type.";
    case ERROR_INVALID_OPERATION:
        return L"The operation is not valid for the objects given.";
    default:
        return nullptr;
    }
}

} // namespace

namespace Win32Subset {

void setKeyDown(int virtualKey, bool down)
{
    if (virtualKey >= 0 && virtualKey < 256)
        g_keys[virtualKey] = down ? 0x80 : 0;
}

bool isKeyDown(int virtualKey)
{
    return virtualKey >= 0 && virtualKey < 256 && (g_keys[virtualKey] & 0x80) != 0;
}

const BYTE* keyStates()
{
    return g_keys;
}

void releaseAllKeys()
{
    std::fill(std::begin(g_keys), std::end(g_keys), BYTE(0));
}

void clearShellExecuteLog()
{
    shellLog().clear();
}

HMODULE registerModule(const std::wstring& fullPath)
{
    const std::wstring name = fileNameOf(fullPath);
    for (auto& module : modules()) {
        if (sameNoCase(fileNameOf(module->path), name)) {
            module->path = fullPath;
            return module.get();
        }
    }
    modules().push_back(std::make_unique<HINSTANCE__>());
    modules().back()->path = fullPath;
    return modules().back().get();
}

const std::vector<ShellExecuteRecord>& shellExecuteLog()
{
    return shellLog();
}

} // namespace Win32Subset

BOOL GetKeyboardState(BYTE* keyState)
{
    if (!keyState) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(keyState, g_keys, sizeof g_keys);
    return TRUE;
}

DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    if (!file) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return reinterpret_cast<HINSTANCE>(std::intptr_t(ERROR_FILE_NOT_FOUND));
    }
    shellLog().push_back({text(verb), text(file), text(parameters), text(directory), showCommand});
    return reinterpret_cast<HINSTANCE>(std::intptr_t(42));
}

HMODULE GetModuleHandleW(LPCWSTR moduleName)
{
    if (!moduleName)
        return Win32Subset::registerModule(programPath());
    const std::wstring wanted = fileNameOf(moduleName);
    for (auto& module : modules())
        if (sameNoCase(fileNameOf(module->path), wanted))
            return module.get();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    std::wstring path;
    if (!module) {
        path = programPath();
    } else {
        auto& all = modules();
        auto it = std::find_if(all.begin(), all.end(), [&](auto& m) { return m.get() == module; });
        if (it == all.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = (*it)->path;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    copyPart(path, fileName, size);
    if (path.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return static_cast<DWORD>(path.size());
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext)
{
    splitPath(path, drive, dir, fname, ext);
}

void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext)
{
    splitPath(path, drive, dir, fname, ext);
}

void SetLastError(DWORD errorCode)
{
    t_lastError = errorCode;
}

DWORD GetLastError()
{
    return t_lastError;
}

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD size,
                     void*)
{
    const wchar_t* found = (flags & FORMAT_MESSAGE_FROM_SYSTEM) ? errorText(messageId) : nullptr;
    if (!found || !buffer) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::wstring message = std::wstring(found) + L"\r\n";
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto* out = new wchar_t[message.size() + 1];
        copyPart(message, out, message.size() + 1);
        *reinterpret_cast<LPWSTR*>(buffer) = out;
        return static_cast<DWORD>(message.size());
    }
    if (message.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    copyPart(message, buffer, size);
    return static_cast<DWORD>(message.size());
}

void* LocalFree(void* memory)
{
    delete[] static_cast<wchar_t*>(memory);
    return nullptr;
}
