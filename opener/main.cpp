// orvalis-open PICTURE: shows any picture that Windows Imaging Component reads
// on the cube. The demo itself reads only img\logo.bmp from its working
// folder, so this makes that bitmap of the picture, as the page and the Linux
// opener do, in a fresh folder under %TEMP%, starts orvalis.exe from its own
// folder there, waits for it, removes the folder and ends with the demo's
// status. "Open with" and a picture dropped on it in Explorer start it so.
// It is a windowed program, with no console: a picture it cannot show gets one
// message box, status 2, and no demo. The demo runs in a job that ends it when
// this program ends, however it ends.
#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "image/Orientation.h"
#include "image/Square.h"

namespace {

// A COM object held for the scope it is made in.
template <class T>
struct Held {
    T* object = nullptr;
    ~Held() {
        if (object) {
            object->Release();
        }
    }
    T* operator->() const { return object; }
    T** operator&() { return &object; }
};

// One message box, for want of a console, then status 2. The sentence goes
// to standard error too, in UTF-8, where a console or a script started this
// with one.
[[noreturn]] void refuse(const std::wstring& text) {
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    const std::wstring line = text + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (console && console != INVALID_HANDLE_VALUE && size > 0) {
        std::string bytes(std::size_t(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.data(), int(line.size()), bytes.data(), size, nullptr,
                            nullptr);
        DWORD written = 0;
        WriteFile(console, bytes.data(), DWORD(size), &written, nullptr);
    }
    MessageBoxW(nullptr, text.c_str(), L"orvalis", MB_OK | MB_ICONERROR);
    ExitProcess(2);
}

// What Windows says of an error code, without its line end.
std::wstring describe(HRESULT result) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring said = text ? text : L"error " + std::to_wstring(unsigned(result));
    LocalFree(text);
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L'.')) {
        said.pop_back();
    }
    return said;
}

// A number from a metadata query, such as a GIF's canvas width, or none.
bool queryNumber(IWICMetadataQueryReader* reader, const wchar_t* name, UINT& value) {
    PROPVARIANT found;
    PropVariantInit(&found);
    const bool known =
        reader && SUCCEEDED(reader->GetMetadataByName(name, &found)) && found.vt == VT_UI2;
    if (known) {
        value = found.uiVal;
    }
    PropVariantClear(&found);
    return known;
}

// Up to size bytes from the start of the file at path; fewer where it is
// shorter or cannot be read.
std::vector<std::uint8_t> firstBytes(const std::wstring& path, DWORD size) {
    std::vector<std::uint8_t> bytes(size);
    DWORD read = 0;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        if (!ReadFile(file, bytes.data(), size, &read, nullptr)) {
            read = 0;
        }
        CloseHandle(file);
    }
    bytes.resize(read);
    return bytes;
}

struct Picture {
    UINT width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // premultiplied blue, green, red, alpha; top row first
};

// The first frame of the picture at path, in sRGB where it carries a colour
// profile, on its canvas where it has one (a GIF's frame may cover part of it).
Picture decode(const std::wstring& path, const std::wstring& name) {
    Held<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory)))) {
        refuse(L"Windows Imaging Component is missing here, which orvalis reads pictures with.");
    }
    Held<IWICBitmapDecoder> decoder;
    const HRESULT opened = factory->CreateDecoderFromFilename(
        path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
    if (opened == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        opened == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
        opened == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) ||
        opened == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)) {
        refuse(L"orvalis cannot read \u201c" + name + L"\u201d: " + describe(opened) + L".");
    }
    Held<IWICBitmapFrameDecode> frame;
    if (FAILED(opened) || FAILED(decoder->GetFrame(0, &frame))) {
        refuse(L"\u201c" + name + L"\u201d is no picture Windows can read.");
    }

    // Its colours in sRGB: a picture with a colour profile (AdobeRGB, say) is
    // converted, as browsers do; others are taken as sRGB already.
    Held<IWICBitmapSource> source;
    frame->QueryInterface(IID_PPV_ARGS(&source));
    Held<IWICColorContext> profile, sRGB;
    UINT profiles = 0;
    Held<IWICColorTransform> transform;
    if (SUCCEEDED(factory->CreateColorContext(&profile)) &&
        SUCCEEDED(factory->CreateColorContext(&sRGB)) &&
        SUCCEEDED(frame->GetColorContexts(1, &profile.object, &profiles)) && profiles > 0 &&
        SUCCEEDED(sRGB->InitializeFromExifColorSpace(1)) &&
        SUCCEEDED(factory->CreateColorTransformer(&transform)) &&
        SUCCEEDED(transform->Initialize(source.object, profile.object, sRGB.object,
                                        GUID_WICPixelFormat32bppBGRA))) {
        source->Release();
        transform->QueryInterface(IID_PPV_ARGS(&source.object));
    }
    Held<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(source.object, GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) {
        refuse(L"\u201c" + name + L"\u201d is no picture Windows can read.");
    }
    // 256 megapixels, a gigabyte: more than a square of 512 needs by far.
    const auto refuseIfTooLarge = [&](UINT w, UINT h) {
        if (std::uint64_t(w) * h > 1u << 28) {
            refuse(L"\u201c" + name + L"\u201d is too large for orvalis: " + std::to_wstring(w) +
                   L" \u00d7 " + std::to_wstring(h) + L" pixels, of 256 megapixels at most.");
        }
    };
    refuseIfTooLarge(width, height);
    std::vector<std::uint8_t> frameBytes(std::size_t(width) * height * 4);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, UINT(frameBytes.size()),
                                     frameBytes.data()))) {
        refuse(L"\u201c" + name + L"\u201d is damaged: Windows cannot read its pixels.");
    }
    // Upright, as the camera that took a photo says it was held: its EXIF
    // orientation, read from the file's first bytes (not every WIC reads it).
    const std::vector<std::uint8_t> start = firstBytes(path, 1 << 17);
    const int orientation = exifOrientation(start.data(), start.size());
    if (orientation > 1) {
        int turnedWidth = int(width), turnedHeight = int(height);
        frameBytes = upright(frameBytes.data(), turnedWidth, turnedHeight, orientation);
        width = UINT(turnedWidth);
        height = UINT(turnedHeight);
    }

    // The canvas and the frame's place on it, where the picture says.
    Held<IWICMetadataQueryReader> whole, part;
    decoder->GetMetadataQueryReader(&whole);
    frame->GetMetadataQueryReader(&part);
    Picture picture{width, height, {}};
    UINT left = 0, top = 0, canvasWidth = 0, canvasHeight = 0;
    // A canvas of 0 x 0, which some GIF writers put, is taken as the frame's
    // own, as browsers and ImageMagick take it.
    if (queryNumber(whole.object, L"/logscrdesc/Width", canvasWidth) &&
        queryNumber(whole.object, L"/logscrdesc/Height", canvasHeight) && canvasWidth > 0 &&
        canvasHeight > 0) {
        picture.width = canvasWidth;
        picture.height = canvasHeight;
        queryNumber(part.object, L"/imgdesc/Left", left);
        queryNumber(part.object, L"/imgdesc/Top", top);
    }
    refuseIfTooLarge(picture.width, picture.height);
    picture.pixels.assign(std::size_t(picture.width) * picture.height * 4, 0);
    for (UINT y = 0; y < height && top + y < picture.height; ++y) {
        for (UINT x = 0; x < width && left + x < picture.width; ++x) {
            const std::size_t to = (std::size_t(top + y) * picture.width + left + x) * 4;
            std::copy_n(&frameBytes[(std::size_t(y) * width + x) * 4], 4, &picture.pixels[to]);
        }
    }
    return picture;
}

// The last error as Windows words it.
std::wstring lastError() {
    return describe(HRESULT_FROM_WIN32(GetLastError()));
}

// A folder of this run's own under %TEMP%, however long its name.
std::filesystem::path freshFolder() {
    std::wstring temp(GetTempPathW(0, nullptr), L'\0');
    const DWORD length = temp.empty() ? 0 : GetTempPathW(DWORD(temp.size()), temp.data());
    if (length == 0 || length >= temp.size()) {
        refuse(L"orvalis finds no folder for its files in %TEMP%: " + lastError() + L".");
    }
    temp.resize(length);
    for (unsigned attempt = GetTickCount() ^ GetCurrentProcessId();; ++attempt) {
        const std::filesystem::path folder =
            std::filesystem::path(temp) / (L"orvalis." + std::to_wstring(attempt % 1000000));
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            refuse(L"orvalis cannot make a folder in " + temp + L": " + lastError() + L".");
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
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::uint8_t> bitmap;
    try {
        const Picture picture = decode(path, name);
        bitmap = squareBitmap(picture.pixels.data(), int(picture.width), int(picture.height));
    } catch (const std::bad_alloc&) {
        refuse(L"\u201c" + name + L"\u201d is too large for the memory orvalis can have here.");
    }

    const std::filesystem::path folder = freshFolder();
    std::error_code ignored;
    // What cannot be done from here on leaves no folder behind.
    const auto clearAndRefuse = [&](const std::wstring& text) {
        std::filesystem::remove_all(folder, ignored);
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
    std::filesystem::remove_all(folder, ignored);
    return int(status);
}
