// orvalis-open PICTURE: shows any picture that Windows Imaging Component reads
// on the cube. The demo itself reads only img\logo.bmp from its working
// folder, so this makes that bitmap of the picture, as the page and the Linux
// opener do, in a fresh folder under %TEMP%, starts orvalis.exe from its own
// folder there, waits for it, removes the folder and ends with the demo's
// status. "Open with" and a picture dropped on it in Explorer start it so.
// It is a windowed program, with no console: a picture it cannot show gets one
// message box, status 2, and no demo. The demo runs in a job that ends it when
// this program ends, however it ends; a folder that a killed opener left is
// removed at the next start.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "opener/Decode.h"
#include "opener/Text.h"

namespace {

// One message box, for want of a console, then status 2. The sentence goes
// to standard error too, in UTF-8, where a console or a script started this
// with one.
[[noreturn]] void refuse(const std::wstring& text) {
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    const std::string line = utf8(text + L"\n");
    if (console && console != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(console, line.data(), DWORD(line.size()), &written, nullptr);
    }
    MessageBoxW(nullptr, text.c_str(), L"orvalis", MB_OK | MB_ICONERROR);
    ExitProcess(2);
}

// What Windows says of an error code, without its line end.
std::wstring describe(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring said = text ? text : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L'.')) {
        said.pop_back();
    }
    return said;
}

// The last error as Windows words it.
std::wstring lastError() {
    return describe(GetLastError());
}

// The whole file at path, read once.
std::vector<std::uint8_t> readPicture(const std::wstring& path, const std::wstring& name) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        refuse(L"orvalis cannot read \u201c" + name + L"\u201d: " + lastError() + L".");
    }
    LARGE_INTEGER size{};
    // 1 GiB: far more than any picture orvalis can show.
    if (!GetFileSizeEx(file, &size) || size.QuadPart > (1 << 30)) {
        CloseHandle(file);
        refuse(L"\u201c" + name + L"\u201d is too large for orvalis: 1 GiB at most.");
    }
    std::vector<std::uint8_t> bytes(std::size_t(size.QuadPart));
    DWORD read = 0;
    const bool whole =
        ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) && read == bytes.size();
    const std::wstring why = whole ? L"" : lastError();
    CloseHandle(file);
    if (!whole) {
        refuse(L"orvalis cannot read \u201c" + name + L"\u201d: " + why + L".");
    }
    return bytes;
}

// Removes the folders in temp that openers no longer running left: an opener
// holds its folder open, not to be deleted, for as long as it runs, so one
// that can be opened for deleting is nobody's.
void clearLeftFolders(const std::filesystem::path& temp) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(temp, error)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L"orvalis.", 0) != 0 || !entry.is_directory(error)) {
            continue;
        }
        const HANDLE held = CreateFileW(
            entry.path().c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            std::filesystem::remove_all(entry.path(), error);
        }
    }
}

// A folder of this run's own under %TEMP%, however long its name, held open
// so that no other opener takes it for a left one.
std::filesystem::path freshFolder(HANDLE& held) {
    std::wstring temp(GetTempPathW(0, nullptr), L'\0');
    const DWORD length = temp.empty() ? 0 : GetTempPathW(DWORD(temp.size()), temp.data());
    if (length == 0 || length >= temp.size()) {
        refuse(L"orvalis finds no folder for its files in %TEMP%: " + lastError() + L".");
    }
    temp.resize(length);
    clearLeftFolders(temp);
    for (unsigned attempt = GetTickCount() ^ GetCurrentProcessId();; ++attempt) {
        const std::filesystem::path folder =
            std::filesystem::path(temp) / (L"orvalis." + std::to_wstring(attempt % 1000000));
        if (!CreateDirectoryW(folder.c_str(), nullptr)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                refuse(L"orvalis cannot make a folder in " + temp + L": " + lastError() + L".");
            }
            continue;
        }
        held = CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        // Else another opener took it for a left one, a moment after it was made.
        if (held != INVALID_HANDLE_VALUE) {
            return folder;
        }
    }
}

// Writes bytes to a new file at path, whole: nothing, or why it could not.
std::wstring writeWhole(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    DWORD written = 0;
    std::wstring why;
    if (!WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        why = lastError();
    }
    // A file that cannot be closed may not be on the disk whole either.
    if (!CloseHandle(file) && why.empty()) {
        why = lastError();
    }
    return why;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 2) {
        refuse(
            L"Open a picture with orvalis: orvalis-open PICTURE, or drop a picture on "
            L"orvalis-open.exe.");
    }
    const std::wstring path = arguments[1];
    // The name as a person knows it: its last part, even with a separator
    // after it ("pics\").
    std::wstring name = path;
    while (name.size() > 1 && (name.back() == L'\\' || name.back() == L'/')) {
        name.pop_back();
    }
    name = std::filesystem::path(name).filename().wstring();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refuse(L"\u201c" + name + L"\u201d is a folder: open a picture in it with orvalis.");
    }
    std::vector<std::uint8_t> bitmap;
    try {
        const std::vector<std::uint8_t> bytes = readPicture(path, name);
        startDecoder("");
        bitmap = bitmapFor(bytes, utf8(name));
    } catch (const Refusal& refusal) {
        refuse(wide(refusal.what()));
    } catch (const std::bad_alloc&) {
        refuse(L"\u201c" + name + L"\u201d is too large for the memory orvalis can have here.");
    }

    HANDLE held = INVALID_HANDLE_VALUE;
    const std::filesystem::path folder = freshFolder(held);
    std::error_code ignored;
    const auto clear = [&] {
        CloseHandle(held);
        std::filesystem::remove_all(folder, ignored);
    };
    // What cannot be done from here on leaves no folder behind.
    const auto clearAndRefuse = [&](const std::wstring& text) {
        clear();
        refuse(text);
    };
    const std::wstring unwritten = CreateDirectoryW((folder / L"img").c_str(), nullptr)
                                       ? writeWhole(folder / L"img" / L"logo.bmp", bitmap)
                                       : lastError();
    if (!unwritten.empty()) {
        clearAndRefuse(L"orvalis cannot write the picture into " + folder.wstring() + L": " +
                       unwritten + L".");
    }

    // orvalis.exe beside this program, started in the folder.
    wchar_t self[MAX_PATH + 1];
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    const std::filesystem::path demo = std::filesystem::path(self).parent_path() / L"orvalis.exe";
    std::wstring commandLine = L"\"" + demo.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    DWORD status = 2;
    // The demo in a job that ends it when this program's handle to the job
    // closes, however this program ends (killed, or the user logging off),
    // so that no demo runs on without its opener. It starts held until it is
    // in the job.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        clearAndRefuse(L"orvalis cannot keep the demo to itself: " + lastError() + L".");
    }
    if (CreateProcessW(demo.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                       nullptr, folder.c_str(), &startup, &started)) {
        if (!AssignProcessToJobObject(job, started.hProcess)) {
            const std::wstring why = lastError();
            TerminateProcess(started.hProcess, 2);
            WaitForSingleObject(started.hProcess, INFINITE);
            clearAndRefuse(L"orvalis cannot keep the demo to itself: " + why + L".");
        }
        ResumeThread(started.hThread);
        WaitForSingleObject(started.hProcess, INFINITE);
        GetExitCodeProcess(started.hProcess, &status);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    } else {
        clearAndRefuse(L"orvalis cannot start " + demo.wstring() + L": " + lastError() + L".");
    }
    clear();
    return int(status);
}
